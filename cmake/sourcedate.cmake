# The time the sources are of, in seconds since 1970 (UTC): SOURCE_DATE_EPOCH
# when it is set, else the time of the last commit of SOURCE_DIR, else
# FALLBACK_EPOCH (a source tree without git, such as an unpacked archive).
# Build date and package both take their time from here, so that one commit
# always builds the same program and package.
#   tolvane_source_date_epoch(<epoch var> <origin var> SOURCE_DIR GIT_EXECUTABLE)

# 1 January 1970: a date no real build has, so that a program built without
# a known date shows it as such.
set(FALLBACK_EPOCH 0)

function(tolvane_source_date_epoch epoch_var origin_var source_dir git)
    if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
        set(epoch "$ENV{SOURCE_DATE_EPOCH}")
        if(NOT epoch MATCHES "^[0-9]+$")
            message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a number of seconds: '${epoch}'")
        endif()
        set(origin "SOURCE_DATE_EPOCH")
    else()
        set(epoch "")
        if(git)
            # Only the sources' own checkout counts: sources unpacked inside
            # another repository are not of its last commit.
            execute_process(
                COMMAND "${git}" -C "${source_dir}" rev-parse --show-toplevel
                OUTPUT_VARIABLE top
                ERROR_QUIET
                RESULT_VARIABLE top_result
                OUTPUT_STRIP_TRAILING_WHITESPACE)
            set(own_checkout FALSE)
            if(top_result EQUAL 0)
                file(REAL_PATH "${top}" top_real)
                file(REAL_PATH "${source_dir}" source_real)
                if(top_real STREQUAL source_real)
                    set(own_checkout TRUE)
                endif()
            endif()
            execute_process(
                COMMAND "${git}" -C "${source_dir}" log -1 --format=%ct
                OUTPUT_VARIABLE epoch
                ERROR_VARIABLE git_error
                RESULT_VARIABLE git_result
                OUTPUT_STRIP_TRAILING_WHITESPACE)
            if(git_result EQUAL 0 AND NOT own_checkout)
                set(epoch "")
            elseif(NOT git_result EQUAL 0)
                # A checkout git refuses to read (another owner, say) would
                # quietly build as of 1970.
                if(EXISTS "${source_dir}/.git")
                    message(WARNING "the last commit's date cannot be read: ${git_error}")
                endif()
                set(epoch "")
            endif()
        endif()
        set(origin "the last commit")
        if(NOT epoch MATCHES "^[0-9]+$")
            set(epoch ${FALLBACK_EPOCH})
            set(origin "no commit found: the fixed fallback")
        endif()
    endif()
    set(${epoch_var} ${epoch} PARENT_SCOPE)
    set(${origin_var} "${origin}" PARENT_SCOPE)
endfunction()
