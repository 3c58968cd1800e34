# qm_core_library(<name> [LINKS libs...]): a static library of the .cpp files in the calling
# folder (not its sub-folders), with the source root as include directory.
function(qm_core_library name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_LINKS})
  endif()
endfunction()

# qm_test(<name> LINKS libs... [LABELS labels...]): one GoogleTest executable from the .cpp
# files named <name>*.cpp in the calling folder, registered with CTest.
function(qm_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LINKS;LABELS;SOURCES" ${ARGN})
  if(ARG_SOURCES)
    set(sources ${ARG_SOURCES})
  else()
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${name}*.cpp")
  endif()
  add_executable(${name} ${sources})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QM_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QM_BINARY_DIR="${CMAKE_BINARY_DIR}"
    QM_PROGRAM_DIR="${QM_PROGRAM_DIR}"
    QM_REALWORLD_DIR="${PROJECT_SOURCE_DIR}/../shared/realworld")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_LIST ${name}_TESTS
    PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  # Labels are set after discovery: passed through it, a list would keep only its first label.
  if(ARG_LABELS)
    set(labels_file "${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake")
    file(WRITE "${labels_file}"
      "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${ARG_LABELS}\")\nendif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${labels_file}")
  endif()
endfunction()
