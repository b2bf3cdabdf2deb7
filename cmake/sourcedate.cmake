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
            execute_process(
                COMMAND "${git}" -C "${source_dir}" log -1 --format=%ct
                OUTPUT_VARIABLE epoch
                ERROR_VARIABLE git_error
                RESULT_VARIABLE git_result
                OUTPUT_STRIP_TRAILING_WHITESPACE)
            if(NOT git_result EQUAL 0)
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
