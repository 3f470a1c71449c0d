# Fails while translations/rorizedivo_en.ts is out of date with the board's
# texts (lupdate would change it), or while a text in it has no finished
# English: each would leave the English board speaking Arabic there.
# -DLUPDATE=<lupdate> -DTS_FILE=<.ts> -DSOURCES=<file listing the sources> -DWORK=<folder>
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
get_filename_component(name "${TS_FILE}" NAME)
configure_file("${TS_FILE}" "${WORK}/${name}" COPYONLY)
execute_process(COMMAND "${LUPDATE}" -silent -locations none -no-obsolete "@${SOURCES}" -ts "${WORK}/${name}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${status})")
endif()
file(READ "${TS_FILE}" kept)
file(READ "${WORK}/${name}" fresh)
if(NOT kept STREQUAL fresh)
  execute_process(COMMAND diff -u "${TS_FILE}" "${WORK}/${name}")
  message(FATAL_ERROR "${name} is out of date with the code: cmake --build build --target update_translations, then translate what is new")
endif()
string(REGEX MATCHALL "<source>[^<]*</source>[ \n]*<translation type=\"unfinished\"" unfinished "${kept}")
string(REGEX MATCHALL "<translation>[ \n]*</translation>|<translation/>|<numerusform></numerusform>" empty "${kept}")
list(LENGTH unfinished unfinishedCount)
list(LENGTH empty emptyCount)
if(unfinishedCount GREATER 0 OR emptyCount GREATER 0)
  message(FATAL_ERROR "${name}: ${unfinishedCount} texts without a finished translation, ${emptyCount} empty:\n${unfinished}")
endif()
message(STATUS "${name}: up to date, every text translated")
