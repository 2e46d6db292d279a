# Cross build for 64-bit Windows with Debian's mingw-w64 (the "posix" thread
# model, which std::thread and Asio need). Programs are linked -static: the
# posix model otherwise needs libwinpthread-1.dll beside every .exe. Tests run
# the built programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Asio is header-only and the same for every target, but the host's include
# folder holds Linux headers too: the cross compiler sees a folder that holds
# only Asio's.
set(TARN_HOST_ASIO_DIR /usr/include)
set(TARN_ASIO_ONLY_DIR ${CMAKE_BINARY_DIR}/asio-include)
if(EXISTS ${TARN_HOST_ASIO_DIR}/asio.hpp AND NOT EXISTS ${TARN_ASIO_ONLY_DIR}/asio.hpp)
  file(MAKE_DIRECTORY ${TARN_ASIO_ONLY_DIR})
  file(CREATE_LINK ${TARN_HOST_ASIO_DIR}/asio.hpp ${TARN_ASIO_ONLY_DIR}/asio.hpp SYMBOLIC)
  file(CREATE_LINK ${TARN_HOST_ASIO_DIR}/asio ${TARN_ASIO_ONLY_DIR}/asio SYMBOLIC)
endif()
set(ASIO_INCLUDE_DIR ${TARN_ASIO_ONLY_DIR} CACHE PATH "Folder holding asio.hpp")

# Wine runs the tests' Windows programs.
find_program(TARN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TARN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARN_WINE})
endif()
