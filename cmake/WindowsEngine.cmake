# The Windows build: the layers without Qt, GoogleTest compiled from the Debian sources, and the tests run
# under Wine (label "wine"). Included by the top-level CMakeLists.txt instead of its usual layers.
include(cmake/WindowsCommon.cmake)

add_subdirectory(src/common)
add_subdirectory(src/protocol)
add_subdirectory(src/serial)
add_subdirectory(src/engine)
# The command line's link list names QtCore for the Linux build; nothing built here uses Qt, so the name
# stands for nothing.
add_library(Qt6::Core INTERFACE IMPORTED)
add_subdirectory(src/cli)
target_compile_options(tarnel_cli PRIVATE -include ${CMAKE_CURRENT_LIST_DIR}/windows/PosixPaths.h)
add_subdirectory(tests/wine)
