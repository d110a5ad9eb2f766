# Where a front end loaded by another program (the GEGL operation, the OpenFX bundle, the Python
# module) goes when installed, and the plug-in folder it finds beside it. Each front end has two
# ways in, as components left out of the plain install:
# - its own component (`gegl`, `ofx`, `python`): the front end with a copy of the plug-in folder,
#   for installing it alone;
# - the component `front-ends`, which the Debian package takes with the plain install: the front
#   end with a link to the one plug-in folder the plain install puts under QB_PLUGIN_INSTALL_DIR.

# qb_install_front_end(TARGET DESTINATION FOLDER COMPONENT): TARGET's file into DESTINATION, and
# the plug-in folder as FOLDER.
function(qb_install_front_end target destination folder component)
    install(TARGETS ${target} LIBRARY DESTINATION ${destination}
        COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(TARGETS QuilAE LIBRARY DESTINATION ${folder} COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(DIRECTORY ${QB_PLUGIN_DIR}/pattern ${QB_PLUGIN_DIR}/help
        DESTINATION ${folder} COMPONENT ${component} EXCLUDE_FROM_ALL)

    install(TARGETS ${target} LIBRARY DESTINATION ${destination}
        COMPONENT front-ends EXCLUDE_FROM_ALL)
    qb_install_link(${folder} ${QB_PLUGIN_INSTALL_DIR} front-ends)
endfunction()

# qb_install_link(LINK TARGET COMPONENT): a symbolic link LINK to TARGET, relative, so that it
# holds wherever the tree is unpacked. Relative paths are taken under the install prefix.
function(qb_install_link link target component)
    install(CODE "
        set(link \"${link}\")
        set(target \"${target}\")
        foreach(path link target)
            if(NOT IS_ABSOLUTE \"\${\${path}}\")
                set(\${path} \"\${CMAKE_INSTALL_PREFIX}/\${\${path}}\")
            endif()
        endforeach()
        get_filename_component(link_folder \"\${link}\" DIRECTORY)
        file(RELATIVE_PATH relative \"\${link_folder}\" \"\${target}\")
        message(STATUS \"Installing: \$ENV{DESTDIR}\${link} -> \${relative}\")
        file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${link_folder}\")
        file(CREATE_LINK \"\${relative}\" \"\$ENV{DESTDIR}\${link}\" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\$ENV{DESTDIR}\${link}\")"
        COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()
