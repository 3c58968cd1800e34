# The sample workbook in 数据/, written by xlwt at build time, with an ID photo for each of its 26
# employees in 数据/照片/. The sample templates name their bookmarks after its column titles
# (listed at the top of the script).
set(QM_SAMPLE_WORKBOOK "${QM_PROGRAM_DIR}/数据/员工信息.xls")
set(QM_SAMPLE_PHOTOS "")
foreach(n RANGE 1 26)
  string(LENGTH "${n}" digits)
  if(digits EQUAL 1)
    set(n "00${n}")
  else()
    set(n "0${n}")
  endif()
  list(APPEND QM_SAMPLE_PHOTOS "${QM_PROGRAM_DIR}/数据/照片/${n}.png")
endforeach()
add_custom_command(
  OUTPUT "${QM_SAMPLE_WORKBOOK}" ${QM_SAMPLE_PHOTOS}
  COMMAND ${QM_SYSTEM_PYTHON} "${CMAKE_CURRENT_LIST_DIR}/make_sample_workbook.py" "${QM_SAMPLE_WORKBOOK}"
  DEPENDS "${CMAKE_CURRENT_LIST_DIR}/make_sample_workbook.py"
  COMMENT "Writing the sample workbook"
  VERBATIM)
list(APPEND QM_PROGRAM_FILES "${QM_SAMPLE_WORKBOOK}" ${QM_SAMPLE_PHOTOS})
# Lets tests that read the sample depend on it without building the whole program folder.
add_custom_target(sample_workbook DEPENDS "${QM_SAMPLE_WORKBOOK}")
