# The product's folders build one way. Each entry names a folder and the
# folders below it whose headers it may include; the DLL's folder is the top.
set(TANDREL_LAYERS
  "support="
  "resources="
  "registrar=support"
  "server=support,registrar"
  "band=support,registrar,server,resources"
  "registration=support,registrar,server"
  "dll=support,registrar,server,band,registration,resources")

# Gives a target the include directory of its folder's layer: a directory of
# links to the folders it may use and nothing else, so that an include of a
# folder above fails to compile.
function(tandrel_layer target folder)
  foreach(entry ${TANDREL_LAYERS})
    string(REPLACE "=" ";" parts "${entry}")
    list(GET parts 0 name)
    if(name STREQUAL folder)
      string(REPLACE "," ";" visible "${entry}")
      string(REGEX REPLACE "^[^=]*=" "" visible "${visible}")
      set(view ${CMAKE_BINARY_DIR}/layers/${folder})
      file(MAKE_DIRECTORY ${view})
      foreach(used ${folder} ${visible})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${used} ${view}/${used} SYMBOLIC)
      endforeach()
      target_include_directories(${target} PRIVATE ${view})
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${folder} is not a layer of TANDREL_LAYERS")
endfunction()

# The same rule over every header and source, as a step of the build: it also
# sees a header that only the layers above compile.
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
