# Writes the build date, in the form of __DATE__ ("Feb 10 2007", a day below
# 10 padded with a space: "Feb  1 2007"), in UTC, as a header:
#   cmake -DSOURCE_DIR=<source> -DOUTPUT=<header> [-DGIT_EXECUTABLE=<git>] -P builddate.cmake
# The date is that of SOURCE_DATE_EPOCH when it is set, else of the last
# commit of the source tree, else 1 January 1970 (sourcedate.cmake): one
# commit always builds with one date. The header is written only when its
# text changes, so that a build that does not change the date compiles
# nothing again.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/sourcedate.cmake)

tolvane_source_date_epoch(epoch origin "${SOURCE_DIR}" "${GIT_EXECUTABLE}")

# string(TIMESTAMP) reads the time from SOURCE_DATE_EPOCH; month names are
# spelled here, whatever the locale.
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
string(TIMESTAMP month "%m" UTC)
string(TIMESTAMP day "%d" UTC)
string(TIMESTAMP year "%Y" UTC)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR month_index "${month} - 1")
list(GET months ${month_index} month_name)
string(REGEX REPLACE "^0" " " day "${day}")
set(date "${month_name} ${day} ${year}")

set(text "// Written by cmake/builddate.cmake from ${origin}.\n")
string(APPEND text "#define TOLVANE_BUILD_DATE \"${date}\"\n")
set(old "")
if(EXISTS "${OUTPUT}")
    file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
    file(WRITE "${OUTPUT}" "${text}")
endif()
