# Shared by the Linux cross toolchains: the target's GNU compilers, linked
# statically so that qemu-user runs the program without a target root. The
# including file sets `triple` and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# The unit tests are built for the host; a cross build is tested end to end
# under qemu-user from the native build's test script.
set(BUILD_TESTING OFF CACHE BOOL "" FORCE)
