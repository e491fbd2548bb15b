// Edits that take digits only, as typed or pasted.
#pragma once

class QLineEdit;

void MakeDigitsOnly(QLineEdit* edit);
