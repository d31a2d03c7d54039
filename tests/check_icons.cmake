# Runs the icon generator into a scratch directory and checks that its output
# matches the committed files file for file: byte for byte, or else pixel for
# pixel within 1% (ImageMagick's compare, frame by frame). Qt's antialiasing
# picks its code path by the processor, and edge pixels come out a level apart
# on machines of another kind.
#
#   cmake -DMAKEICON=<lumivex_makeicon> -DCOMMITTED=<resources dir>
#         -DWORKDIR=<scratch dir> -P check_icons.cmake

cmake_minimum_required(VERSION 3.21)

foreach(var MAKEICON COMMITTED WORKDIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_icons.cmake: ${var} is not set")
    endif()
endforeach()

file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}")

execute_process(COMMAND "${MAKEICON}" "${WORKDIR}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lumivex_makeicon failed: ${result}")
endif()

find_program(COMPARE compare)

file(GLOB_RECURSE generated RELATIVE "${WORKDIR}" "${WORKDIR}/*")
list(SORT generated)
set(expected
    icons/hicolor/128x128/apps/lumivex.png
    icons/hicolor/16x16/apps/lumivex.png
    icons/hicolor/256x256/apps/lumivex.png
    icons/hicolor/32x32/apps/lumivex.png
    icons/hicolor/48x48/apps/lumivex.png
    icons/hicolor/64x64/apps/lumivex.png
    lumivex.ico)
if(NOT generated STREQUAL expected)
    message(FATAL_ERROR "unexpected generator output:\n  got:      ${generated}\n  expected: ${expected}")
endif()

# Every PNG committed under icons/ must come from the generator too.
file(GLOB_RECURSE committed_icons RELATIVE "${COMMITTED}" "${COMMITTED}/icons/*")
foreach(file IN LISTS committed_icons)
    if(NOT file IN_LIST generated)
        message(FATAL_ERROR "${COMMITTED}/${file} is not produced by lumivex_makeicon")
    endif()
endforeach()

set(failed 0)
foreach(file IN LISTS generated)
    if(NOT EXISTS "${COMMITTED}/${file}")
        message(SEND_ERROR "missing committed file: ${COMMITTED}/${file}")
        set(failed 1)
        continue()
    endif()
    execute_process(
        COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORKDIR}/${file}" "${COMMITTED}/${file}"
        RESULT_VARIABLE differs)
    if(differs AND COMPARE)
        set(frames 0)
        if(file MATCHES "[.]ico$")
            set(frames 0 1 2)
        endif()
        set(differs 0)
        foreach(frame IN LISTS frames)
            execute_process(
                COMMAND "${COMPARE}" -metric AE -fuzz 1% "${WORKDIR}/${file}[${frame}]"
                        "${COMMITTED}/${file}[${frame}]" null:
                RESULT_VARIABLE frame_differs OUTPUT_QUIET ERROR_QUIET)
            if(NOT frame_differs EQUAL 0)
                set(differs 1)
            endif()
        endforeach()
    endif()
    if(differs)
        message(SEND_ERROR "differs from the generator output: ${COMMITTED}/${file}")
        set(failed 1)
    else()
        message(STATUS "identical: ${file}")
    endif()
endforeach()

if(failed)
    message(FATAL_ERROR "committed icons are out of date; regenerate with: lumivex_makeicon ${COMMITTED}")
endif()
