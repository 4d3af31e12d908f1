# The Windows build, included by the top-level list after the core libraries: the Win32 services, the COM
# component vantor.out.dll, vantor-host.exe and the Windows test programs. Everything links libgcc, libstdc++
# and winpthread statically, so that each file imports system DLLs only.
enable_language(RC)
add_link_options(-static)

vantor_folder_library(vantor_platform src/platform/win32)
target_compile_definitions(vantor_platform PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
    _WIN32_WINNT=0x0601)
target_link_libraries(vantor_platform PUBLIC vantor_window ws2_32 iphlpapi winmm user32 gdi32 advapi32)

add_subdirectory(src/plugin)
