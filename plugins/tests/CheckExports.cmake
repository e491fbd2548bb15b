# A plug-in defines exactly the three plug-in functions and imports get_weapon_weight only
# when IMPORTS_WEIGHT is set.
execute_process(COMMAND ${NM} -D --defined-only --format=just-symbols ${PLUGIN}
  OUTPUT_VARIABLE defined COMMAND_ERROR_IS_FATAL ANY)
if(NOT defined STREQUAL "skill_plugin_event\nskill_plugin_finish\nskill_plugin_init\n")
  message(FATAL_ERROR "${PLUGIN} defines:\n${defined}")
endif()
execute_process(COMMAND ${NM} -D --undefined-only --format=just-symbols ${PLUGIN}
  OUTPUT_VARIABLE undefined COMMAND_ERROR_IS_FATAL ANY)
string(FIND "\n${undefined}" "\nget_weapon_weight\n" at)
if(IMPORTS_WEIGHT AND at EQUAL -1 OR NOT IMPORTS_WEIGHT AND NOT at EQUAL -1)
  message(FATAL_ERROR "${PLUGIN}: importing get_weapon_weight should be ${IMPORTS_WEIGHT}")
endif()
