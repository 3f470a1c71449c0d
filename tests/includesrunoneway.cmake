# The board's folders depend one way: app/ composes view/, feed/, store/ and
# links/, which stand on platform/, which knows nothing of the board. A
# header included against that direction fails this check, with the line.
#   cmake -DSOURCE_DIR=<project> -P includesrunoneway.cmake

set(below_app view feed store links platform)
set(failures "")

foreach(folder IN LISTS below_app)
  file(GLOB sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  if(folder STREQUAL "platform")
    set(forbidden "app|view|feed|store|links")
  else()
    set(forbidden "app")
  endif()
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"(${forbidden})/")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
      string(APPEND failures "  ${name}: ${line}\n")
    endforeach()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "includes against the direction app -> view, feed, store, links -> platform:\n${failures}")
endif()
