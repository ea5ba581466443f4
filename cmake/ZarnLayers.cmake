# One static library per layer folder. Sources are picked up from the folder itself,
# so adding a file needs no CMake edit; a layer links only the layers below it, so
# an include that points upwards fails to compile.
function(zarn_add_layer name)
  cmake_parse_arguments(ARG "" "" "DEPS;QT" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(NOT srcs)
    # A layer with nothing to compile yet still carries its include folder and links.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS} ${ARG_QT} Threads::Threads)
    return()
  endif()
  add_library(${name} STATIC ${srcs} ${hdrs})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} ${ARG_QT} Threads::Threads)
endfunction()

# One test executable per test folder; every *.cpp in it is compiled in.
# GUI tests get a QApplication on the offscreen platform, others a QCoreApplication.
function(zarn_add_test_dir name)
  cmake_parse_arguments(ARG "GUI" "" "LIBS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs} ${ZARN_TEST_MAIN})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} zarn_testsupport GTest::gtest GTest::gmock)
  if(ARG_GUI)
    target_compile_definitions(${name} PRIVATE ZARN_TEST_GUI=1)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/scripts/tsan.supp"
    TIMEOUT 120)
endfunction()
