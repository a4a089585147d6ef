# The same programs for 64-bit Windows, run under wine64: the test build of machines that cannot run
# 32-bit programs.
set(QUORVEL_MINGW_ARCH x86_64)
set(QUORVEL_WINE_RUN wine64-run)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")
