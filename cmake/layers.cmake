# The folders' libraries form layers: a folder's sources may include headers of the folders its
# library links, directly or through what those link, and of no other. The allowed folders are
# read from the link graph itself, so that a new link is the only way to reach a new folder.
#
# qb_check_layers(FOLDER TARGET ...) writes the allowed folders of each pair, refuses a cycle in
# the link graph at configure time, and adds the test `include_layers` that scans the sources.

# The project's own libraries `target` links, directly and through each other.
function(_qb_linked_targets target known out)
    set(seen "")
    set(queue ${target})
    while(queue)
        list(POP_FRONT queue current)
        foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
            get_target_property(links ${current} ${property})
            if(NOT links)
                continue()
            endif()
            foreach(link IN LISTS links)
                if(link IN_LIST known AND NOT link IN_LIST seen)
                    list(APPEND seen ${link})
                    list(APPEND queue ${link})
                endif()
            endforeach()
        endforeach()
    endwhile()
    set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(qb_check_layers)
    set(pairs ${ARGN})
    set(folders "")
    set(targets "")
    while(pairs)
        list(POP_FRONT pairs folder target)
        list(APPEND folders ${folder})
        list(APPEND targets ${target})
    endwhile()

    set(layers "")
    foreach(folder target IN ZIP_LISTS folders targets)
        _qb_linked_targets(${target} "${targets}" linked)
        if(target IN_LIST linked)
            message(FATAL_ERROR "${target} links itself through ${linked}: the layers have a cycle")
        endif()
        set(allowed "")
        foreach(other_folder other_target IN ZIP_LISTS folders targets)
            if(other_target IN_LIST linked)
                list(APPEND allowed ${other_folder})
            endif()
        endforeach()
        string(JOIN "," allowed_text ${allowed})
        string(APPEND layers "${folder}:${allowed_text}\n")
    endforeach()
    file(WRITE ${CMAKE_BINARY_DIR}/layers.txt "${layers}")

    add_test(NAME include_layers
             COMMAND ${CMAKE_COMMAND} -DLAYERS=${CMAKE_BINARY_DIR}/layers.txt
                     -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/check_includes.cmake)
endfunction()
