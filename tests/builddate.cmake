# Runs the build-date writer as the build does and checks the date it
# writes: in the form of __DATE__, in UTC, from SOURCE_DATE_EPOCH, the last
# commit or the fallback, and a header left alone when its date stays.
#   cmake -DWRITER=<cmake/builddate.cmake> -DWORK_DIR=<dir> [-DGIT_EXECUTABLE=<git>] -P builddate.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(header "${WORK_DIR}/builddate_text.h")
set(failures 0)

# Runs the writer on SOURCE_DIR with the environment settings given after it
# ("SOURCE_DATE_EPOCH=..." or "--unset=SOURCE_DATE_EPOCH", "TZ=...").
function(write_date source_dir git)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env ${ARGN}
                ${CMAKE_COMMAND} -DSOURCE_DIR=${source_dir} -DOUTPUT=${header}
                -DGIT_EXECUTABLE=${git} -P ${WRITER}
        RESULT_VARIABLE result
        OUTPUT_VARIABLE output
        ERROR_VARIABLE output)
    set(write_result ${result} PARENT_SCOPE)
    set(write_output "${output}" PARENT_SCOPE)
endfunction()

function(expect_date what expected)
    set(date "")
    if(EXISTS "${header}")
        file(STRINGS "${header}" line REGEX "^#define TOLVANE_BUILD_DATE ")
        string(REGEX REPLACE "^#define TOLVANE_BUILD_DATE \"(.*)\"$" "\\1" date "${line}")
    endif()
    if(NOT write_result EQUAL 0)
        message("fault: ${what}: the writer failed: ${write_output}")
        math(EXPR failures "${failures} + 1")
    elseif(NOT date STREQUAL expected)
        message("fault: ${what}: '${date}', expected '${expected}'")
        math(EXPR failures "${failures} + 1")
    else()
        message(STATUS "${what}: '${date}'")
    endif()
    set(failures ${failures} PARENT_SCOPE)
endfunction()

set(no_git "${WORK_DIR}/no-git")
file(MAKE_DIRECTORY "${no_git}")
# The work folder lies in the build tree, often inside a checkout: git must
# not find that one from here.
set(ENV{GIT_CEILING_DIRECTORIES} "${WORK_DIR}")

write_date(${no_git} "" SOURCE_DATE_EPOCH=1171065600)
expect_date("SOURCE_DATE_EPOCH 1171065600" "Feb 10 2007")
write_date(${no_git} "" SOURCE_DATE_EPOCH=1170288000)
expect_date("a day below 10" "Feb  1 2007")
# 23:30 on 1 February in UTC is already 2 February east of Greenwich.
write_date(${no_git} "" SOURCE_DATE_EPOCH=1170372600 TZ=JST-9)
expect_date("UTC, not the local day" "Feb  1 2007")

write_date(${no_git} "" SOURCE_DATE_EPOCH=yesterday)
if(write_result EQUAL 0)
    message("fault: a SOURCE_DATE_EPOCH that is no number was taken")
    math(EXPR failures "${failures} + 1")
endif()

write_date(${no_git} "${GIT_EXECUTABLE}" --unset=SOURCE_DATE_EPOCH)
expect_date("no commit: the fallback" "Jan  1 1970")
write_date(${no_git} "" --unset=SOURCE_DATE_EPOCH)
expect_date("no git: the fallback" "Jan  1 1970")

if(GIT_EXECUTABLE)
    set(repo "${WORK_DIR}/repo")
    file(MAKE_DIRECTORY "${repo}")
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${repo} init -q RESULT_VARIABLE r1)
    # Authored on one day, committed on the next: the commit's day counts.
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env "GIT_AUTHOR_DATE=@1170288000 +0000"
                "GIT_COMMITTER_DATE=@1171065600 +0100"
                ${GIT_EXECUTABLE} -C ${repo} -c user.name=t -c user.email=t@localhost
                -c commit.gpgsign=false commit -q --allow-empty -m first
        RESULT_VARIABLE r2)
    if(r1 EQUAL 0 AND r2 EQUAL 0)
        write_date(${repo} "${GIT_EXECUTABLE}" --unset=SOURCE_DATE_EPOCH)
        expect_date("the last commit" "Feb 10 2007")
        write_date(${repo} "${GIT_EXECUTABLE}" SOURCE_DATE_EPOCH=1170288000)
        expect_date("SOURCE_DATE_EPOCH before the commit" "Feb  1 2007")
        # Sources unpacked inside that repository are not of its commit.
        file(MAKE_DIRECTORY "${repo}/unpacked")
        write_date(${repo}/unpacked "${GIT_EXECUTABLE}" --unset=SOURCE_DATE_EPOCH)
        expect_date("sources inside another checkout: the fallback" "Jan  1 1970")
    else()
        message("fault: could not make a test repository")
        math(EXPR failures "${failures} + 1")
    endif()
else()
    message(STATUS "git not found: the commit's date is not checked")
endif()

# Unchanged date, untouched header: an old modification time stays.
write_date(${no_git} "" SOURCE_DATE_EPOCH=1171065600)
execute_process(COMMAND touch -d @1000000000 ${header})
write_date(${no_git} "" SOURCE_DATE_EPOCH=1171069200)
file(TIMESTAMP ${header} kept "%s" UTC)
if(NOT kept STREQUAL "1000000000")
    message("fault: the header was written again for the same date")
    math(EXPR failures "${failures} + 1")
endif()
write_date(${no_git} "" SOURCE_DATE_EPOCH=1171152000)
expect_date("the next day" "Feb 11 2007")
file(TIMESTAMP ${header} changed "%s" UTC)
if(changed STREQUAL "1000000000")
    message("fault: the header was not written for a new date")
    math(EXPR failures "${failures} + 1")
endif()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} build date fault(s)")
endif()
