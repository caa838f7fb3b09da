#include "app/OverlayScale.h"

#include <algorithm>

namespace {

// The smallest window the overlays' pixel sizes were made for.
constexpr float kLayoutWidth = 1280.0f;
constexpr float kLayoutHeight = 720.0f;

}  // namespace

float overlayScale(float width, float height) {
    return std::min({1.0f, width / kLayoutWidth, height / kLayoutHeight});
}
