#pragma once

#include "render/Object.h"

#include <cstdint>
#include <string>

class Text;

// A combination lock on the cell door: a dial showing one digit, set with
// the number keys while the lock is in focus (selected), and the digit it
// must show. The digit is drawn as a small 3D text parented to the lock.
class Lock : public Object {
public:
    explicit Lock(const std::string& name);

    bool isSolved() const { return digit == solution; }
    void setSolution(unsigned target) { solution = target; }

    // Number row and keypad digits, on press only, while the lock is
    // selected, the game is running and the door is still shut.
    void onKey(int key, int action);

    // Shows the digit; the first call creates the label in the lock's scene,
    // which must hold the text material "text" and have a renderer with the
    // font "VT323".
    void updateLabel();

    // The lock, then its label.
    void draw() override;

    unsigned getDigit() const { return digit; }
    unsigned getSolution() const { return solution; }
    Text* getLabel() const { return label; }

private:
    uint32_t digit = 0;
    uint32_t solution = 0;
    // Not owned: it belongs to the scene, like every object a scene makes.
    Text* label = nullptr;
};
