#pragma once

#include "render/Object.h"

#include <cstdint>
#include <string>

class Font;
class Material;

// How a text's measured box is placed on its anchor (x, y). One type serves
// both directions: Center centres the box, Bottom puts its bottom at y, Right
// its right edge at x; every other value keeps its top-left corner at (x, y).
enum class TextAlignment : int32_t {
    Center = 0,
    Top = 1,
    Bottom = 2,
    Left = 3,
    Right = 4,
};

// A string drawn as one mesh of glyph quads in the object's z = 0 plane,
// y pointing up. Glyph pixels are scaled by (scaleX, scaleY).
class Text : public Object {
public:
    Text(const std::string& name, Font* font, const std::string& text, float x, float y,
         float scaleX, float scaleY, const TextAlignment& verticalAlignment,
         const TextAlignment& horizontalAlignment);

    // Replaces the mesh from the current fields; the new mesh has no material.
    void rebuild();

    // Stores the material and gives it to every mesh of the text.
    void setMaterial(Material* material);

    // Shows another string; the same string again changes nothing.
    void setText(const std::string& text);

    const std::string& getText() const { return text; }
    Material* getMaterial() const { return material; }

private:
    Font* font;
    Material* material = nullptr;
    std::string text;
    float x;
    float y;
    float scaleX;
    float scaleY;
    TextAlignment verticalAlignment;
    TextAlignment horizontalAlignment;
};
