#pragma once

// The Unicode properties the text layout asks about beyond what HarfBuzz and
// FriBidi answer.

// General category Cc: tab, line feed and the other C0 and C1 controls. A
// stamp is one line and cannot show them.
bool IsControlCharacter(char32_t c);

// Default_Ignorable_Code_Point: drawn as nothing, with no advance (joiners,
// marks of direction, variation selectors, the soft hyphen, ...). Fonts need
// not hold them.
bool IsDefaultIgnorable(char32_t c);

// The zero-width joiner and non-joiner: drawn as nothing, but part of how a
// word is spelled (Persian, Indic scripts), so the text layer keeps them.
bool IsJoiner(char32_t c);

// A character that belongs with the one before it (a combining mark, a
// joiner, a variation selector): the two come from the same font.
bool ContinuesCluster(char32_t c);
