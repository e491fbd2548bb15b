#include "NumericLocale.h"

#include <clocale>

void UseCNumericLocale() {
    std::setlocale(LC_NUMERIC, "C");
}
