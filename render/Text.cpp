#include "render/Text.h"

#include "render/Font.h"
#include "render/Mesh.h"

Text::Text(const std::string& name, Font* font, const std::string& text, float x, float y,
           float scaleX, float scaleY, const TextAlignment& verticalAlignment,
           const TextAlignment& horizontalAlignment)
    : Object(name),
      font(font),
      text(text),
      x(x),
      y(y),
      scaleX(scaleX),
      scaleY(scaleY),
      verticalAlignment(verticalAlignment),
      horizontalAlignment(horizontalAlignment) {
    rebuild();
    invalidate();
}

void Text::rebuild() {
    std::vector<Mesh*>& meshList = getMeshes();
    for (Mesh* mesh : meshList) {
        delete mesh;
    }
    meshList.clear();

    const std::pair<float, float> size = font->measureText(text);
    const float width = size.first;
    const float height = size.second;

    float offsetY = 0.0f;
    if (verticalAlignment == TextAlignment::Center) {
        offsetY = -height / 2.0f;
    } else if (verticalAlignment == TextAlignment::Bottom) {
        offsetY = -height;
    }
    float offsetX = 0.0f;
    if (horizontalAlignment == TextAlignment::Center) {
        offsetX = -width / 2.0f;
    } else if (horizontalAlignment == TextAlignment::Right) {
        offsetX = -width;
    }

    meshList = font->buildTextMesh(text, x, y, scaleX, scaleY, offsetX, offsetY);
}

void Text::setMaterial(Material* newMaterial) {
    material = newMaterial;
    for (Mesh* mesh : getMeshes()) {
        mesh->setMaterial(material);
    }
}

void Text::setText(const std::string& newText) {
    if (newText == text) {
        return;
    }
    text = newText;
    rebuild();
    for (Mesh* mesh : getMeshes()) {
        mesh->setMaterial(material);
    }
    invalidate();
}
