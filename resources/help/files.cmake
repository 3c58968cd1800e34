# Help and tutorials below 帮助及教程/: the help page, also packed into one MHTML file (with the
# images it shows), the tutorial pages with their screenshots, and the About window's banner.
set(QM_HELP_DIR "${QM_PROGRAM_DIR}/帮助及教程")

file(GLOB QM_HELP_IMAGES CONFIGURE_DEPENDS
  "${CMAKE_CURRENT_LIST_DIR}/images/*.png" "${CMAKE_CURRENT_LIST_DIR}/images/*.gif"
  "${CMAKE_CURRENT_LIST_DIR}/images/*.jpg")

add_custom_command(
  OUTPUT "${QM_HELP_DIR}/帮助.mht"
  COMMAND ${QM_SYSTEM_PYTHON} "${CMAKE_CURRENT_LIST_DIR}/make_mht.py"
          "${CMAKE_CURRENT_LIST_DIR}/帮助.html" "${QM_HELP_DIR}/帮助.mht"
  DEPENDS "${CMAKE_CURRENT_LIST_DIR}/make_mht.py" "${CMAKE_CURRENT_LIST_DIR}/帮助.html"
          "${CMAKE_CURRENT_LIST_DIR}/banner.gif" ${QM_HELP_IMAGES}
  COMMENT "Packing the help page into 帮助.mht"
  VERBATIM)
list(APPEND QM_PROGRAM_FILES "${QM_HELP_DIR}/帮助.mht")

# The help window of the program shows the page itself, so it ships beside the packed file.
set(QM_HELP_COPIED
  "${CMAKE_CURRENT_LIST_DIR}/帮助.html"
  "${CMAKE_CURRENT_LIST_DIR}/banner.gif"
  "${CMAKE_CURRENT_LIST_DIR}/插入书签视频教程.html"
  "${CMAKE_CURRENT_LIST_DIR}/保存到Word视频教程.html"
  "${CMAKE_CURRENT_LIST_DIR}/插入到Word并打印视频教程.html"
  "${CMAKE_CURRENT_LIST_DIR}/tutorial.css"
  ${QM_HELP_IMAGES})
foreach(src IN LISTS QM_HELP_COPIED)
  file(RELATIVE_PATH rel "${CMAKE_CURRENT_LIST_DIR}" "${src}")
  add_custom_command(
    OUTPUT "${QM_HELP_DIR}/${rel}"
    COMMAND ${CMAKE_COMMAND} -E copy "${src}" "${QM_HELP_DIR}/${rel}"
    DEPENDS "${src}"
    VERBATIM)
  list(APPEND QM_PROGRAM_FILES "${QM_HELP_DIR}/${rel}")
endforeach()
