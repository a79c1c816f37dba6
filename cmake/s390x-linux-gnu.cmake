# Cross-compiles kelvor for a big-endian host (64-bit IBM Z):
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(triple s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-static-cross.cmake)
