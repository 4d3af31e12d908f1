# The Windows build, included by the top-level list after the core libraries: the Win32 services, the COM
# component vantor.out.dll, vantor-host.exe and the Windows test programs. Everything links libgcc, libstdc++
# and winpthread statically, so that each file imports system DLLs only.
enable_language(RC)
add_link_options(-static)

vantor_folder_library(vantor_platform src/platform/win32)
target_compile_definitions(vantor_platform PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601)
target_link_libraries(vantor_platform PUBLIC vantor_window ws2_32 iphlpapi winmm user32 gdi32 advapi32
    comctl32 comdlg32)

add_subdirectory(src/plugin)
add_subdirectory(apps/vantor-host/win32)

if(VANTOR_BUILD_TESTS)
    # GoogleTest from the sources Debian ships (package googletest), built by the cross compiler. The test
    # programs land beside the DLL; the Linux build's tests/wine runs them under wine.
    set(VANTOR_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${VANTOR_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    function(vantor_windows_tests name folder)
        file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${folder}/*.cpp)
        add_executable(${name} ${sources})
        target_link_libraries(${name} PRIVATE GTest::gtest_main ${ARGN})
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
    endfunction()
    vantor_windows_tests(tests_plugin_com plugin/com vantor_com_interface)
    add_dependencies(tests_plugin_com vantor_out)
    vantor_windows_tests(tests_platform_win32 platform/win32 vantor_platform)
    vantor_windows_tests(tests_window_win32 platform/win32/window vantor_platform)
    # The window's controls in the visual styles, as the DLL has them.
    target_sources(tests_window_win32 PRIVATE ${PROJECT_SOURCE_DIR}/tests/platform/win32/window/window_test.rc)
    set_source_files_properties(${PROJECT_SOURCE_DIR}/tests/platform/win32/window/window_test.rc PROPERTIES
        OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/src/platform/win32/visual_styles.manifest)
endif()
