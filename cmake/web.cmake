# The WebAssembly builds, made with Emscripten:
#   emcmake cmake -S . -B build-web && cmake --build build-web
# - kelvor.js: the command line for Node, on the real file system
#   (node build-web/kelvor.js NAME ...), held to the native bytes by the
#   end-to-end tests;
# - kelvor.html: the page, one self-contained file in which the same main
#   runs in a Web Worker on in-memory files.

# Debian's Emscripten runs its optimizer with the system's node, which finds
# acorn only in Debian's shared module folder.
find_path(KELVOR_NODE_MODULES acorn/package.json PATHS /usr/share/nodejs /usr/lib/nodejs
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(KELVOR_NODE_MODULES)
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${KELVOR_NODE_MODULES})
  # kelvor exists already; the targets below take the launcher from the variable.
  set_target_properties(kelvor PROPERTIES CXX_LINKER_LAUNCHER "${CMAKE_CXX_LINKER_LAUNCHER}")
endif()

# Shared by both: a failed allocation is a result code (-41), never an abort;
# the heap grows as a large -b asks.
set(kelvor_wasm_options -sALLOW_MEMORY_GROWTH=1 -sABORTING_MALLOC=0 -sFORCE_FILESYSTEM=1 -sEXIT_RUNTIME=1)

set_target_properties(kelvor PROPERTIES SUFFIX .js)
target_link_options(kelvor PRIVATE ${kelvor_wasm_options} -sSINGLE_FILE=1 -sNODERAWFS=1 -sENVIRONMENT=node
                    --pre-js ${CMAKE_SOURCE_DIR}/web/core/node_names.js)
set_target_properties(kelvor PROPERTIES LINK_DEPENDS ${CMAKE_SOURCE_DIR}/web/core/node_names.js)

# The page's converter: a module factory that the worker instantiates (and
# keeps for the next file while the files are small), and runs the command
# line in with its WAVs planned rather than written (kelvor_page_plan); the
# worker carries the plan out on the dropped file. The WebAssembly stays a
# file of its own, which the page carries once and the worker compiles once;
# every instance is made from that compiled module. It also loads in Node,
# where the unit tests hold the page's carrying out of a plan to the native
# command line's bytes.
add_executable(kelvor_worker_module web/core/page_api.cc web/core/page_encode.cc web/core/run_json.cc app/batch_options.cc
               web/core/peak_blocks.cc)  # no main: the page calls the run
# The waveforms' pass over every sample runs in vector instructions, which
# every current browser has.
set_source_files_properties(web/core/peak_blocks.cc PROPERTIES COMPILE_OPTIONS "-msimd128;-O3")
# The codecs: built for WebAssembly from their checked sources by
# packaging/codecs/build.sh web, found with -DKELVOR_CODEC_PREFIX; without
# them the page offers WAV alone and says why.
target_link_libraries(kelvor_worker_module PRIVATE kelvor_codecs)
set_target_properties(kelvor_worker_module PROPERTIES SUFFIX .js OUTPUT_NAME kelvor-module)
target_link_options(kelvor_worker_module PRIVATE ${kelvor_wasm_options} -sENVIRONMENT=worker,node -lworkerfs.js
                    -sMODULARIZE=1 -sEXPORT_NAME=createKelvor --no-entry -sTOTAL_STACK=256KB -sINITIAL_MEMORY=1MB
                    -sEXPORTED_FUNCTIONS=_malloc,_free
                    -sEXPORTED_RUNTIME_METHODS=FS,stringToUTF8,UTF8ToString,lengthBytesUTF8,getValue,setValue)

# The page: its modules bundled (esbuild follows their imports, the zip
# library's among them) and inlined into one file with the module.
foreach(package client-zip esbuild)
  if(NOT EXISTS ${CMAKE_SOURCE_DIR}/node_modules/${package}/package.json)
    message(FATAL_ERROR "the page's build needs ${package}: run 'npm ci' in ${CMAKE_SOURCE_DIR} first")
  endif()
endforeach()
file(GLOB_RECURSE kelvor_page_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/web/*.js ${CMAKE_SOURCE_DIR}/web/*.html
     ${CMAKE_SOURCE_DIR}/web/*.css ${CMAKE_SOURCE_DIR}/web/*.mjs)
find_program(NODE_EXECUTABLE node REQUIRED)
set(kelvor_codec_notices)
if(KELVOR_HAVE_FLAC OR KELVOR_HAVE_VORBIS)
  set(kelvor_codec_notices --codecs ${KELVOR_CODEC_PREFIX}/share/licenses)
endif()
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/kelvor.html
  COMMAND ${NODE_EXECUTABLE} ${CMAKE_SOURCE_DIR}/web/build.mjs
          --module $<TARGET_FILE:kelvor_worker_module>
          --wasm $<TARGET_FILE_DIR:kelvor_worker_module>/kelvor-module.wasm
          --out ${CMAKE_CURRENT_BINARY_DIR}/kelvor.html ${kelvor_codec_notices}
  DEPENDS kelvor_worker_module ${kelvor_page_sources} ${CMAKE_SOURCE_DIR}/package-lock.json
          ${CMAKE_SOURCE_DIR}/VERSION ${CMAKE_SOURCE_DIR}/RELEASE ${CMAKE_SOURCE_DIR}/LICENSE
  COMMENT "Inlining the page kelvor.html")
add_custom_target(kelvor_page ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/kelvor.html)

# The unit tests are built for the host; the WebAssembly builds are tested
# end to end (Node) and in a browser from the native build's test script.
set(BUILD_TESTING OFF CACHE BOOL "" FORCE)
