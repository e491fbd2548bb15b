// What the operator can type or paste into an edit. These limits refuse keystrokes only: a text
// the page writes itself (a stored value) always shows whole, and a page's own check refuses one
// that is too long when the page is left, so nothing is cut without a word. (A maximum length on
// the edit itself would cut the page's own texts too.)
#pragma once

class QLineEdit;

// Digits only; with maxDigits above zero, no more than that many.
void MakeDigitsOnly(QLineEdit* edit, int maxDigits = 0);
void LimitTyping(QLineEdit* edit, int maxCharacters);
