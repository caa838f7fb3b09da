#version 450 core

// Depth only: drawn with the colour writes masked off, behind the lit
// program's own vertex stage, so the depths it leaves are the lit ones.

void main() {
}
