# The help page is shown by the desktop's browser, so it ships as a plain
# file beside the program (where the Help > Contents opener looks first).
# Include after the tolvek-filter target is defined.
set(TOLVEK_HELP_PAGE ${CMAKE_CURRENT_LIST_DIR}/../resources/Tolvekfilter.htm)
add_custom_command(TARGET tolvek-filter POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TOLVEK_HELP_PAGE} $<TARGET_FILE_DIR:tolvek-filter>/Tolvekfilter.htm
  COMMENT "Copying the help page beside the program")
