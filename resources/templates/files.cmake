# Sample templates for the three bookmark forms (single-row, repeat, multi-row). The sources are
# flat OpenDocument files kept readable in the repository; one office run for each format
# converts them all to the .doc files the program lists in 模板/ and to .docx files beside them.
find_program(QM_SOFFICE NAMES soffice libreoffice REQUIRED)

set(QM_TEMPLATE_SOURCES
  "${CMAKE_CURRENT_LIST_DIR}/劳动合同.fodt"
  "${CMAKE_CURRENT_LIST_DIR}/工作证.fodt"
  "${CMAKE_CURRENT_LIST_DIR}/工资条.fodt")
set(QM_TEMPLATE_OUTPUTS "")
foreach(src IN LISTS QM_TEMPLATE_SOURCES)
  get_filename_component(stem "${src}" NAME_WE)
  list(APPEND QM_TEMPLATE_OUTPUTS "${QM_PROGRAM_DIR}/模板/${stem}.doc" "${QM_PROGRAM_DIR}/模板/${stem}.docx")
endforeach()

add_custom_command(
  OUTPUT ${QM_TEMPLATE_OUTPUTS}
  COMMAND /bin/sh "${CMAKE_CURRENT_LIST_DIR}/convert_templates.sh"
          "${QM_SOFFICE}" "${QM_SYSTEM_PYTHON}" "${CMAKE_BINARY_DIR}/lo-profile-templates"
          "${QM_PROGRAM_DIR}/模板" ${QM_TEMPLATE_SOURCES}
  DEPENDS ${QM_TEMPLATE_SOURCES} "${CMAKE_CURRENT_LIST_DIR}/convert_templates.sh"
  COMMENT "Converting the sample templates to .doc and .docx"
  VERBATIM)
list(APPEND QM_PROGRAM_FILES ${QM_TEMPLATE_OUTPUTS})
# Lets tests that read the samples depend on them without building the whole program folder.
add_custom_target(sample_templates DEPENDS ${QM_TEMPLATE_OUTPUTS})
