#pragma once

#include "mainwindow/form1.h"

#include <array>

class QCheckBox;

// The nine item types in the order of the main window's boxes: the column of RuneWords, the
// box's caption and the box.
struct ItemType {
    const char *column;
    const char *caption;
    QCheckBox *Form1::*box;
};

inline constexpr std::array<ItemType, 9> itemTypes = {{
    {"armor", "Body Armor", &Form1::CheckBodyArmor},
    {"helm", "Helm", &Form1::CheckHelm},
    {"belt", "Belt", &Form1::CheckBelt},
    {"boots", "Boots", &Form1::CheckBoots},
    {"gloves", "Gloves", &Form1::CheckGloves},
    {"shield", "Shield", &Form1::CheckShield},
    {"meleeweapon", "Melee Weapon", &Form1::CheckMeleeWeapon},
    {"missileweapon", "Missile Weapon", &Form1::CheckmissileWeapon},
    {"Other", "Other", &Form1::Checkother},
}};
