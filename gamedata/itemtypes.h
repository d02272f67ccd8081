#pragma once

#include <array>

// The nine item types: the yes/no columns of RuneWords, in the table's order. The program's
// boxes, the data tool and the tests all take them from here.
enum ItemTypeIndex {
    BodyArmor,
    Helm,
    Belt,
    Boots,
    Shield,
    Gloves,
    MeleeWeapon,
    MissileWeapon,
    Other
};
inline constexpr std::array<const char *, 9> itemTypeColumns = {
    "armor", "helm", "belt", "boots", "shield", "gloves", "meleeweapon", "missileweapon", "Other"};
