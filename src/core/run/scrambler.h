#pragma once

#include "facts/int16.h"
#include "run/random_source.h"
#include "text/rune_table.h"

namespace sigilflip {

// How far the walk for one rune counts: r × runeCount, formed in double precision from the
// single-precision draw and rounded to the nearest integer, halves to the even neighbour.
Int16 WalkCount(float r, Int16 runeCount);

// Gives every rune in the table a new name taken from the rune names, a random permutation of
// them. Draws one number per rune, in slot order. Expects every NewName to be empty.
//
// The name of rune i goes to the k-th rune without a name yet, counting from slot 1 and turning
// back to slot 1 after the last rune (after slot 1000 when the table is full); k = 0 and k = 1
// both choose the first. Placing an empty name leaves its target without a name.
void ScrambleRunes(RuneTable& table, RandomSource& random);

}  // namespace sigilflip
