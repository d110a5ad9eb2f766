# The folders' libraries form layers: a folder's sources may include headers of the folders its
# library links, directly or through what those link, and of no other. The allowed folders are
# read from the link graph itself, so that a new link is the only way to reach a new folder.
#
# qb_check_layers(FOLDER TARGET ...) writes the allowed folders of each pair, refuses a cycle in
# the link graph at configure time, and adds the test `include_layers` that scans the sources.

# The project's own libraries `target` links, directly and through each other.
function(_qb_linked_targets target out)
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
                if(NOT TARGET ${link} OR link IN_LIST seen)
                    continue()
                endif()
                get_target_property(imported ${link} IMPORTED)
                if(NOT imported)
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
        _qb_linked_targets(${target} linked)
        if(target IN_LIST linked)
            message(FATAL_ERROR "${target} links itself through ${linked}: the layers have a cycle")
        endif()
        # A folder is reached through its library or through any other library built there.
        set(allowed "")
        foreach(link IN LISTS linked)
            get_target_property(link_dir ${link} SOURCE_DIR)
            file(RELATIVE_PATH link_folder ${CMAKE_SOURCE_DIR} ${link_dir})
            if(link_folder IN_LIST folders AND NOT link_folder IN_LIST allowed)
                list(APPEND allowed ${link_folder})
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
