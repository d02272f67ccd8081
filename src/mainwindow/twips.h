#pragma once

#include <QRect>

// Window geometry is designed in twips; 15 twips make one pixel at 96 dots per inch, and Qt
// scales pixels for denser screens.
constexpr int twips(int value)
{
    return (value + 7) / 15;
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}
