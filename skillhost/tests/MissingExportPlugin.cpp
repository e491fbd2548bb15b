// Exports two of the three plug-in functions.
extern "C" void skill_plugin_init(void*, void*, void*) {}
extern "C" void skill_plugin_event(void*, void*, void*, void*, void*) {}
