# The program's layers, one library each. A layer's sources see only the
# folders of the layers it is declared to use (and, through them, theirs): each
# target gets an include root of its own holding links to just those folders,
# so an include that runs the wrong way is not found and fails to build.
#
#   buzonix_layer(<target> [FOLDER <folder under src>] [USES <layer target>...])
#
# A target without FOLDER (a program, a test) sees what its layers see.
function(buzonix_layer target)
  cmake_parse_arguments(layer "" "FOLDER" "USES" ${ARGN})
  set(visible ${layer_FOLDER})
  foreach(used IN LISTS layer_USES)
    get_target_property(folders ${used} BUZONIX_VISIBLE_FOLDERS)
    list(APPEND visible ${folders})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  set_property(TARGET ${target} PROPERTY BUZONIX_VISIBLE_FOLDERS "${visible}")
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  foreach(folder IN LISTS visible)
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PRIVATE ${root})
  if(layer_USES)
    target_link_libraries(${target} PUBLIC ${layer_USES})
  endif()
endfunction()

# A static library of portable code: one folder of src, the layers it uses.
function(buzonix_core_layer target folder)
  add_library(${target} STATIC)
  buzonix_layer(${target} FOLDER ${folder} ${ARGN})
  if(WIN32)
    # Ordinary code beside the intermediate form (see the top CMakeLists.txt).
    target_compile_options(${target} PRIVATE "$<$<AND:${BUZONIX_LTO_ACTIVE},$<COMPILE_LANGUAGE:CXX>>:-flto;-ffat-lto-objects>")
  endif()
endfunction()
