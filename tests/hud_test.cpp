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
bool isBlack(const Rgba& p) { return p.r < 8 && p.g < 8 && p.b < 8; }
bool isBright(const Rgba& p) { return p.r > 200 && p.g > 200 && p.b > 200; }

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
        applyGameGlState();
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
        std::vector<uint8_t> pixels = readBackBuffer(width, height);
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

        const std::vector<uint8_t> start = frame("display_" + tag);
        const int cx = size.w / 2;
        const int cy = size.h / 2;

        // The crosshair: a 20 by 4 and a 4 by 20 pixel black bar crossing at
        // the centre, and nothing else black.
        const Box cross = find(start, isBlack, 0, 0, size.w, size.h);
        EXPECT_EQ(cross.left, cx - 10);
        EXPECT_EQ(cross.right, cx + 10);
        EXPECT_EQ(cross.top, cy - 10);
        EXPECT_EQ(cross.bottom, cy + 10);
        EXPECT_EQ(cross.count, 20 * 4 * 2 - 4 * 4);

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

// Lost: the display (even when F5 hid it) under a black translucent backdrop,
// a white title centred on the window and the message half its size 128
// pixels lower; every frame of the over state repeats it. Won: the same
// layout on gold, in black, and the longest message fits the game's window.
TEST_F(HudTest, EndScreensShowTheOutcomeOverTheDisplay) {
    build(1280, 720);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    EXPECT_FALSE(hud->winScene.isEnabled());
    EXPECT_FALSE(hud->loseScene.isEnabled());
    EXPECT_TRUE(isBackground(at(frame("playing"), 5, height - 5)));
    renderer->handleKey(GLFW_KEY_F5, GLFW_PRESS);
    gameOver = true;
    endMessage = "You were hit by the guard!";
    hud->showEndScreen();
    EXPECT_FALSE(hud->winScene.isEnabled());
    EXPECT_EQ(hud->loseMessage->getText(), endMessage);
    const std::vector<uint8_t> lost = frame("lose");
    const Rgba dark = at(lost, 5, height - 5);
    EXPECT_NEAR(dark.r, kBackground.r * 0.2, 2);
    EXPECT_NEAR(dark.g, kBackground.g * 0.2, 2);
    EXPECT_NEAR(dark.b, kBackground.b * 0.2, 2);
    EXPECT_TRUE(isBlack(at(lost, width / 2, height / 2 + 1))) << "no crosshair under the end screen";
    EXPECT_FALSE(find(lost, [](const Rgba& p) { return p.r > 40 && p.r < 70; }, width / 2, 0, width, 100).empty())
        << "the dimmed timer is not drawn under the end screen";
    const auto expectTitleAndMessage = [&](const std::vector<uint8_t>& pixels, bool (*ink)(const Rgba&)) {
        const Box title = find(pixels, ink, 0, 0, width, height / 2 + 64);
        const Box message = find(pixels, ink, 0, height / 2 + 64, width, height);
        ASSERT_FALSE(title.empty());
        ASSERT_FALSE(message.empty());
        EXPECT_NEAR(title.centreX(), width / 2.0, 3.0);
        EXPECT_NEAR(title.centreY(), height / 2.0, 8.0);
        EXPECT_NEAR(message.centreX(), width / 2.0, 3.0);
        EXPECT_NEAR(message.centreY(), height / 2.0 + 128.0, 8.0);  // descenders lie outside
        EXPECT_GT(title.height(), message.height());
        EXPECT_GT(message.left, 0);
        EXPECT_LT(message.right, width);
    };
    expectTitleAndMessage(lost, isBright);
    hud->showEndScreen();
    EXPECT_EQ(frame("lose_again"), lost);

    hud->loseScene.disable();
    gameWon = true;
    endMessage = "You escaped the prison in 03:25.500!";
    hud->showEndScreen();
    EXPECT_FALSE(hud->loseScene.isEnabled());
    EXPECT_EQ(hud->wonMessage->getText(), endMessage);
    const std::vector<uint8_t> won = frame("win");
    const Rgba gold = at(won, 5, height - 5);
    EXPECT_NEAR(gold.r, 255 * 0.8 + kBackground.r * 0.2, 2);
    EXPECT_NEAR(gold.g, 255 * 0.8 + kBackground.g * 0.2, 2);
    EXPECT_NEAR(gold.b, kBackground.b * 0.2, 2);
    expectTitleAndMessage(won, [](const Rgba& p) { return p.r < 40 && p.g < 40; });
}

}  // namespace
