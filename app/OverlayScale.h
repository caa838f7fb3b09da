#pragma once

// The overlays (start screen, on-screen display, end screens) are laid out in
// pixels for a window of at least 1280 x 720. A smaller window shrinks every
// one of those pixel lengths by the factor this returns, the smaller of
// width/1280 and height/720, so the whole layout keeps its look and fits;
// from 1280 x 720 up it is 1 and the pixel sizes stand as they are.
float overlayScale(float width, float height);
