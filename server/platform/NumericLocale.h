// The engine module runs in this process and reads and writes numbers through the C library, as
// the program does; both must write a dot whatever the operator's locale, or the engine keeps
// "0,5" as a text that reads back as 0.
#pragma once

// Once, right after the Qt application object is constructed: constructing it takes the whole
// locale from the environment.
void UseCNumericLocale();
