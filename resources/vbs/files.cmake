# The close script, copied below the program folder where the program looks for it.
set(QM_CLOSE_SCRIPT "${QM_PROGRAM_DIR}/vbs/closeword.sh")
add_custom_command(
  OUTPUT "${QM_CLOSE_SCRIPT}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${QM_PROGRAM_DIR}/vbs"
  COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_CURRENT_LIST_DIR}/closeword.sh" "${QM_CLOSE_SCRIPT}"
  DEPENDS "${CMAKE_CURRENT_LIST_DIR}/closeword.sh"
  COMMENT "Copying the office close script")
list(APPEND QM_PROGRAM_FILES "${QM_CLOSE_SCRIPT}")
