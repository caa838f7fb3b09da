// The on-screen display and the end screens as a player sees them: frames
// rendered through the real renderer into a real window, with the game's
// font and icons, and measured in pixels. The images are saved under the
// build tree (test-output/hud_*.png).

#include "app/GameState.h"
#include "app/Hud.h"
#include "app/Settings.h"
#include "render/Camera.h"
#include "render/Font.h"
#include "render/Object.h"
#include "render/Renderer.h"
#include "render/Text.h"
#include "tests/support/GlContext.h"
#include "tests/support/RenderTarget.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// The clear colour, so that white text and black bars both stand out.
const Rgba kBackground{51, 77, 128, 255};

bool isBackground(const Rgba& p) {
    return std::abs(p.r - kBackground.r) <= 2 && std::abs(p.g - kBackground.g) <= 2 &&
           std::abs(p.b - kBackground.b) <= 2;
}
bool isBlack(const Rgba& p) {
    return p.r < 8 && p.g < 8 && p.b < 8;
}
bool isBright(const Rgba& p) {
    return p.r > 200 && p.g > 200 && p.b > 200;
}

// Bounding box of matching pixels, in window pixels counted from the top-left
// corner (x right, y down), half-open.
struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
    bool empty() const { return count == 0; }
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    double centreX() const { return (left + right) / 2.0; }
    double centreY() const { return (top + bottom) / 2.0; }
};

class HudTest : public ::testing::Test {
protected:
    // A window of the size under test, the renderer and its programs, the
    // font at the game's size and the display built on them.
    void build(int w, int h) {
        width = w;
        height = h;
        context = std::make_unique<GlContext>(w, h);
        if (context->displayMissing()) {
            GTEST_SKIP() << context->reason();
        }
        ASSERT_TRUE(context->ok()) << context->reason();
        int fbWidth = 0;
        int fbHeight = 0;
        glfwGetFramebufferSize(context->window(), &fbWidth, &fbHeight);
        ASSERT_EQ(fbWidth, w);
        ASSERT_EQ(fbHeight, h);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
        glClearColor(kBackground.r / 255.0f, kBackground.g / 255.0f, kBackground.b / 255.0f, 1.0f);
        nearPlane = 0.1f;
        farPlane = 100.0f;
        globalBrightness = 1.0f;

        renderer = std::make_unique<Renderer>(context->window(), w, h);
        renderer->getShaderManager().load("font", "assets/shaders/font");
        renderer->getFontManager().loadFont("VT323", "assets/fonts/VT323-Regular.ttf", 256);
        camera = std::make_unique<Camera>(60.0, static_cast<double>(w) / h, 0.1, 100.0);
        hud = std::make_unique<Hud>(nullptr, *renderer, camera.get(), static_cast<float>(w),
                                    static_cast<float>(h), "10:00");
        // Contours off: with a coloured clear colour the empty normal buffer
        // would read as creases everywhere.
        renderer->handleKey(GLFW_KEY_F3, GLFW_PRESS);
    }

    void TearDown() override {
        gameOver = gameWon = false;
        endMessage = "...";
        hud.reset();
        renderer.reset();
        context.reset();
    }

    // One frame onto the window, read back and saved.
    std::vector<uint8_t> frame(const std::string& name) {
        renderer->clear();
        renderer->render();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << name;
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        savePng("hud_" + name, pixels, width, height);
        return pixels;
    }

    // The pixel in column x and row y, rows counted from the top.
    Rgba at(const std::vector<uint8_t>& pixels, int x, int y) const {
        return pixelAt(pixels, width, x, height - 1 - y);
    }

    // Matching pixels in the region [x0, x1) x [y0, y1), rows from the top.
    Box find(const std::vector<uint8_t>& pixels, const std::function<bool(const Rgba&)>& match, int x0, int y0,
             int x1, int y1) const {
        Box box;
        for (int y = std::max(y0, 0); y < std::min(y1, height); ++y) {
            for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) {
                if (match(at(pixels, x, y))) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x + 1);
                    box.bottom = std::max(box.bottom, y + 1);
                    ++box.count;
                }
            }
        }
        return box;
    }
    Box findAll(const std::vector<uint8_t>& pixels, const std::function<bool(const Rgba&)>& match) const {
        return find(pixels, match, 0, 0, width, height);
    }

    int width = 0;
    int height = 0;
    std::unique_ptr<GlContext> context;
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Hud> hud;
};


TEST_F(HudTest, TheDisplayKeepsItsPixelLayoutAtAnyWindowSize) {
    struct Size {
        int w, h;
    };
    for (const Size size : {Size{800, 800}, Size{1200, 600}}) {
        SCOPED_TRACE(std::to_string(size.w) + "x" + std::to_string(size.h));
        TearDown();
        build(size.w, size.h);
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        const std::string tag = std::to_string(size.w) + "x" + std::to_string(size.h);
        ASSERT_EQ(renderer->getOverlayScenes(),
                  (std::vector<Scene*>{&hud->hudScene, &hud->winScene, &hud->loseScene}));
        EXPECT_TRUE(hud->hudScene.isEnabled());
        EXPECT_EQ(hud->timer->getText(), "10:00");

        const std::vector<uint8_t> start = frame("display_" + tag);
        const int cx = size.w / 2;
        const int cy = size.h / 2;

        // The crosshair: a 20 by 4 and a 4 by 20 pixel black bar crossing at
        // the centre, and nothing else black.
        const Box cross = findAll(start, isBlack);
        EXPECT_EQ(cross.left, cx - 10);
        EXPECT_EQ(cross.right, cx + 10);
        EXPECT_EQ(cross.top, cy - 10);
        EXPECT_EQ(cross.bottom, cy + 10);
        EXPECT_EQ(cross.count, 20 * 4 * 2 - 4 * 4);
        const Box bar = find(start, isBlack, 0, cy - 1, size.w, cy + 1);
        EXPECT_EQ(bar.width(), 20);

        // The timer hangs right-aligned from 12.5 pixels inside the top-right
        // corner, an em of 128 pixels: digits well over 50 pixels high.
        const Box timer = find(start, isBright, cx, 0, size.w, cy);
        ASSERT_FALSE(timer.empty()) << "no timer";
        EXPECT_NEAR(size.w - timer.right, 12.5, 1.5);
        EXPECT_NEAR(timer.top, 12.5, 1.5);
        EXPECT_GT(timer.height(), 50);
        EXPECT_LT(timer.height(), 128);
        EXPECT_GT(timer.width(), 2 * timer.height());

        // The hint and the icons start hidden: below the timer nothing but
        // the crosshair differs from the background.
        const Box rest = find(
            start, [](const Rgba& p) { return !isBackground(p) && !isBlack(p); }, 0, timer.bottom + 2, size.w,
            size.h);
        EXPECT_TRUE(rest.empty()) << "something drawn at " << rest.left << "," << rest.top;

        // Shown: the two 96-pixel icons, centred 164.5 pixels below the top,
        // 60.5 and 169 pixels left of the right edge; the hint for one frame,
        // centred, hanging from 12.5 pixels below the centre.
        hud->ePressed->setHidden(false);
        hud->glassesIcon->setHidden(false);
        hud->glassesHelp->setDrawOnce();
        const std::vector<uint8_t> shown = frame("display_shown_" + tag);
        struct Icon {
            const char* name;
            double fromRight;
        };
        for (const Icon icon : {Icon{"e_pressed", 60.5}, Icon{"glasses_icon", 169.0}}) {
            SCOPED_TRACE(icon.name);
            const double x = size.w - icon.fromRight;
            const double y = 164.5;
            const Box box = find(
                shown, [](const Rgba& p) { return !isBackground(p); }, static_cast<int>(x - 54), timer.bottom + 2,
                static_cast<int>(x + 54), static_cast<int>(y + 60));
            ASSERT_FALSE(box.empty());
            EXPECT_GE(box.left, x - 48 - 0.5);
            EXPECT_LE(box.right, x + 48 + 0.5);
            EXPECT_GE(box.top, y - 48 - 0.5);
            EXPECT_LE(box.bottom, y + 48 + 0.5);
            EXPECT_GT(box.width(), 80);
            EXPECT_GT(box.height(), 30);
            EXPECT_NEAR(box.centreY(), y, 6.0);
            EXPECT_NEAR(box.centreX(), x, 2.0);
        }
        const Box hint = find(shown, isBright, 0, cy + 1, size.w, size.h);
        ASSERT_FALSE(hint.empty()) << "no hint";
        // A text's box is measured from its first glyph: the "P" hangs from
        // the anchor, taller glyphs after it may reach above.
        const Box first = find(shown, isBright, hint.left, cy + 1, hint.left + 20, size.h);
        EXPECT_NEAR(first.top, cy + 12.5, 1.5);
        EXPECT_NEAR(hint.centreX(), cx, 2.0);
        EXPECT_GT(hint.width(), 300);  // twenty characters at a 64-pixel em
        EXPECT_LT(hint.height(), 64);

        // The hint was drawn once; the icons stay.
        const std::vector<uint8_t> next = frame("display_next_" + tag);
        EXPECT_TRUE(find(next, isBright, 0, cy + 1, size.w, size.h).empty());
        EXPECT_FALSE(find(next, [](const Rgba& p) { return !isBackground(p); }, cx, timer.bottom + 2, size.w, cy)
                         .empty());
    }
}

TEST_F(HudTest, TheEndScreensStayOffUntilTheGameIsOverThenShowTheOutcome) {
    build(640, 480);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    EXPECT_FALSE(hud->winScene.isEnabled());
    EXPECT_FALSE(hud->loseScene.isEnabled());
    const std::vector<uint8_t> playing = frame("playing");
    EXPECT_TRUE(isBackground(at(playing, 5, height - 5)));

    // F5 hid the display during play; the lost game still draws it, under
    // the black translucent backdrop.
    renderer->handleKey(GLFW_KEY_F5, GLFW_PRESS);
    gameOver = true;
    endMessage = "Your time ran out!";
    hud->showEndScreen();
    EXPECT_TRUE(hud->loseScene.isEnabled());
    EXPECT_FALSE(hud->winScene.isEnabled());
    EXPECT_EQ(hud->loseMessage->getText(), "Your time ran out!");
    EXPECT_EQ(hud->wonMessage->getText(), "...");
    const std::vector<uint8_t> lost = frame("lose");

    const Rgba corner = at(lost, 5, height - 5);
    EXPECT_NEAR(corner.r, kBackground.r * 0.2, 2);
    EXPECT_NEAR(corner.g, kBackground.g * 0.2, 2);
    EXPECT_NEAR(corner.b, kBackground.b * 0.2, 2);
    // The crosshair shows through (black over black), the timer dimmed.
    EXPECT_TRUE(isBlack(at(lost, width / 2, height / 2 + 1)));
    const Box timer = find(
        lost, [](const Rgba& p) { return p.r > 40 && p.r < 70; }, width / 2, 0, width, 100);
    EXPECT_FALSE(timer.empty()) << "the display is not drawn under the end screen";

    // White title centred on the window, the message half its size centred
    // 128 pixels lower.
    const Box title = find(lost, isBright, 0, 0, width, height / 2 + 64);
    const Box message = find(lost, isBright, 0, height / 2 + 64, width, height);
    ASSERT_FALSE(title.empty());
    ASSERT_FALSE(message.empty());
    EXPECT_NEAR(title.centreX(), width / 2.0, 3.0);
    EXPECT_NEAR(title.centreY(), height / 2.0, 3.0);
    EXPECT_NEAR(message.centreX(), width / 2.0, 3.0);
    EXPECT_NEAR(message.centreY(), height / 2.0 + 128.0, 3.0);
    EXPECT_GT(title.height(), message.height());

    // Every frame of the over state repeats the end display; other lose
    // reasons are shown the same way.
    hud->showEndScreen();
    EXPECT_EQ(frame("lose_again"), lost);
    for (const std::string reason : {"You hit the guard!", "You were hit by the guard!"}) {
        endMessage = reason;
        hud->showEndScreen();
        EXPECT_EQ(hud->loseMessage->getText(), reason);
    }
    const std::vector<uint8_t> guard = frame("lose_guard");
    const Box longer = find(guard, isBright, 0, height / 2 + 64, width, height);
    EXPECT_GT(longer.width(), message.width());
    EXPECT_FALSE(hud->winScene.isEnabled());
}

TEST_F(HudTest, TheWinScreenIsGoldWithBlackText) {
    build(1280, 720);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    gameOver = true;
    gameWon = true;
    endMessage = "You escaped the prison in 03:25.500!";
    hud->showEndScreen();
    EXPECT_TRUE(hud->winScene.isEnabled());
    EXPECT_FALSE(hud->loseScene.isEnabled());
    EXPECT_EQ(hud->wonMessage->getText(), endMessage);
    EXPECT_EQ(hud->loseMessage->getText(), "...");
    const std::vector<uint8_t> won = frame("win");

    const Rgba corner = at(won, 5, height - 5);
    EXPECT_NEAR(corner.r, 255 * 0.8 + kBackground.r * 0.2, 2);
    EXPECT_NEAR(corner.g, 255 * 0.8 + kBackground.g * 0.2, 2);
    EXPECT_NEAR(corner.b, kBackground.b * 0.2, 2);
    const auto ink = [](const Rgba& p) { return p.r < 40 && p.g < 40; };
    const Box title = find(won, ink, 0, 0, width, height / 2 - 12);
    const Box message = find(won, ink, 0, height / 2 + 64, width, height);
    ASSERT_FALSE(title.empty());
    ASSERT_FALSE(message.empty());
    EXPECT_NEAR(title.centreX(), width / 2.0, 3.0);
    EXPECT_NEAR(message.centreX(), width / 2.0, 3.0);
    // The descender of "p" lies outside the measured box.
    EXPECT_NEAR(message.centreY(), height / 2.0 + 128.0, 8.0);
    // The message's 36 characters at a 64-pixel em fit the game's window.
    EXPECT_GT(message.width(), width * 2 / 3);
    EXPECT_GT(message.left, 0);
    EXPECT_LT(message.right, width);
}

}  // namespace
