# The product's folders build one way. Each entry names a folder and what it
# may include besides its own headers: the folders below it, or single files
# of one (the browser stand-in sees only the published resource ids and,
# through tandrel_idl, the type library's header); the DLL's folder is the top.
set(TANDREL_LAYERS
  "support="
  "resources="
  "registrar=support"
  "server=support,registrar"
  "band=support,registrar,server,resources"
  "registration=support,registrar,server"
  "dll=support,registrar,server,band,registration,resources"
  "host=resources/resource.h")

# The view of a layer: a directory under the build tree holding, for its own
# folder and each folder it may use, a real directory of links to that
# folder's files (or to the single files it may use), and nothing else. Made
# once per configure run; a file added to a folder makes the build configure
# again.
function(tandrel_layer_view folder view)
  get_property(made GLOBAL PROPERTY TANDREL_LAYER_VIEW_${folder})
  if(made)
    return()
  endif()
  set_property(GLOBAL PROPERTY TANDREL_LAYER_VIEW_${folder} TRUE)
  set(used)
  foreach(entry ${TANDREL_LAYERS})
    if(entry MATCHES "^${folder}=(.*)$")
      string(REPLACE "," ";" used "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  file(REMOVE_RECURSE ${view})
  foreach(part ${folder} ${used})
    if(IS_DIRECTORY ${CMAKE_SOURCE_DIR}/${part})
      file(GLOB files CONFIGURE_DEPENDS LIST_DIRECTORIES false RELATIVE ${CMAKE_SOURCE_DIR}
           ${CMAKE_SOURCE_DIR}/${part}/*)
    else()
      set(files ${part})
    endif()
    foreach(file ${files})
      get_filename_component(directory ${view}/${file} DIRECTORY)
      file(MAKE_DIRECTORY ${directory})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${file} ${view}/${file} SYMBOLIC)
    endforeach()
  endforeach()
endfunction()

# Gives a target the view of its folder's layer as its include directory and
# compiles the target's own sources through the view as well. The compiler
# looks a quoted include up beside the including file first, so a source
# compiled from the real tree would still find "../band/x.h" there; inside the
# view the same spelling stays in the view, and an include of a folder above
# is not found, whether written "band/x.h", <band/x.h> or "../band/x.h". The
# CMakeLists keep their source lists as they are; debug information names
# the real files.
function(tandrel_layer target folder)
  set(known FALSE)
  foreach(entry ${TANDREL_LAYERS})
    if(entry MATCHES "^${folder}=")
      set(known TRUE)
    endif()
  endforeach()
  if(NOT known)
    message(FATAL_ERROR "${folder} is not a layer of TANDREL_LAYERS")
  endif()
  set(view ${CMAKE_BINARY_DIR}/layers/${folder})
  tandrel_layer_view(${folder} ${view})
  target_include_directories(${target} PRIVATE ${view})
  target_compile_options(${target} PRIVATE "-ffile-prefix-map=${view}=${CMAKE_SOURCE_DIR}")

  get_target_property(sources ${target} SOURCES)
  get_target_property(directory ${target} SOURCE_DIR)
  set(viewed)
  foreach(source ${sources})
    get_filename_component(path ${source} ABSOLUTE BASE_DIR ${directory})
    if(path MATCHES "^${CMAKE_SOURCE_DIR}/${folder}/[^/]+\\.(c|cpp)$")
      file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${path})
      list(APPEND viewed ${view}/${relative})
    else()
      list(APPEND viewed ${source})
    endif()
  endforeach()
  set_property(TARGET ${target} PROPERTY SOURCES ${viewed})
endfunction()

# The same rule over every header and source, as a step of the build: it also
# sees a header that only the layers above compile, and any spelling that
# walks out of the view ("../../../band/x.h").
set(TANDREL_LAYER_GLOBS)
foreach(entry ${TANDREL_LAYERS})
  string(REGEX REPLACE "=.*" "" folder "${entry}")
  list(APPEND TANDREL_LAYER_GLOBS ${CMAKE_SOURCE_DIR}/${folder}/*.h ${CMAKE_SOURCE_DIR}/${folder}/*.cpp
       ${CMAKE_SOURCE_DIR}/${folder}/*.rc)
endforeach()
file(GLOB TANDREL_LAYER_FILES CONFIGURE_DEPENDS ${TANDREL_LAYER_GLOBS})
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/layers/checked
  COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/check-layers ${CMAKE_SOURCE_DIR} ${TANDREL_LAYERS}
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/layers/checked
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/check-layers ${TANDREL_LAYER_FILES}
  VERBATIM)
add_custom_target(tandrel_layer_check ALL DEPENDS ${CMAKE_BINARY_DIR}/layers/checked)
