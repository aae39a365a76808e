# Deliverable ToolVorlaneReg: one relocatable object (ld -r) holding the tools module, the same compiled
# code that the program links: the field tools, input/output helpers and border masks of subsystem 1,
# the CGS solver and solve wrapper of subsystem 3, the primal solver, the dual optimiser and the
# evidence code. Not in it: the entry point and the run start (driver, list file, image input and
# windows), the motion-file and binary field-file input and output, the spline library with its image
# operators, the sparse library proper (vectors, matrices, ILU, kernels, sort) and the random-number
# routines. Whatever links it must bring those libraries, liblbfgs and the runtime libraries; the
# image library's code is compiled into it.
#
# Included from the top-level CMakeLists.txt after the subsystem libraries are declared:
#   include(cmake/ToolVorlaneReg.cmake)

set(VRM_TOOL_OBJECT "${CMAKE_BINARY_DIR}/ToolVorlaneReg.o")

# Objects of the tools module, taken from the subsystem libraries themselves (no second compilation).
set(vrm_tool_objects
  "$<FILTER:$<TARGET_OBJECTS:vrm_io>,EXCLUDE,/io/(motion_file|field_file|listfile|tiff|window)\\.cpp\\.o$>"
  "$<TARGET_OBJECTS:vrm_field>"
  "$<FILTER:$<TARGET_OBJECTS:vrm_sparse>,INCLUDE,/sparse/(cgs|inversion|inversion_image)\\.cpp\\.o$>"
  "$<TARGET_OBJECTS:vrm_primal>"
  "$<TARGET_OBJECTS:vrm_dual>"
  "$<FILTER:$<TARGET_OBJECTS:vrm_evidence>,EXCLUDE,/evidence/random\\.cpp\\.o$>")

add_custom_command(
  OUTPUT "${VRM_TOOL_OBJECT}"
  COMMAND "${CMAKE_LINKER}" -r -o "${VRM_TOOL_OBJECT}" ${vrm_tool_objects}
  DEPENDS vrm_io vrm_field vrm_sparse vrm_primal vrm_dual vrm_evidence ${vrm_tool_objects}
  COMMAND_EXPAND_LISTS
  VERBATIM
  COMMENT "Linking relocatable object ToolVorlaneReg.o")
add_custom_target(ToolVorlaneReg ALL DEPENDS "${VRM_TOOL_OBJECT}")

# The random-number routines on their own, as a user of the object links them.
add_library(vrm_random STATIC "${CMAKE_SOURCE_DIR}/src/evidence/random.cpp")
target_include_directories(vrm_random PUBLIC "${CMAKE_SOURCE_DIR}/src")

# A small program linked against the object plus the libraries it needs.
if(BUILD_TESTING OR NOT DEFINED BUILD_TESTING)
  add_executable(tool_object_link_test "${CMAKE_SOURCE_DIR}/tests/tool_object/tool_user.cpp" "${VRM_TOOL_OBJECT}")
  set_source_files_properties("${VRM_TOOL_OBJECT}" PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  add_dependencies(tool_object_link_test ToolVorlaneReg)
  target_include_directories(tool_object_link_test PRIVATE "${CMAKE_SOURCE_DIR}/src")
  target_link_libraries(tool_object_link_test PRIVATE vrm_sparse vrm_random PkgConfig::LBFGS vrm_cimg m)
  add_test(NAME tool_object_link COMMAND tool_object_link_test)
endif()
