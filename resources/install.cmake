# `cmake --install`: the programs with their scenes and help in PREFIX/lib/tavolin, where they
# find each other beside the executable as in the build folder; links in PREFIX/bin; the desktop
# entry, the icon and the scene-file type, so that file managers open *.tavolin with Tavolin.
include(GNUInstallDirs)
set(TAVOLIN_INSTALL_APPDIR ${CMAKE_INSTALL_LIBDIR}/tavolin)

foreach(program tavolin tavolin-render)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${TAVOLIN_INSTALL_APPDIR})
        # Qt finds the folder of the real executable behind the link.
        install(CODE "
            set(bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
            file(MAKE_DIRECTORY \"\${bindir}\")
            file(CREATE_LINK \"../${TAVOLIN_INSTALL_APPDIR}/${program}\" \"\${bindir}/${program}\"
                 SYMBOLIC)")
    endif()
endforeach()
file(GLOB TAVOLIN_INSTALL_SCENES ${CMAKE_SOURCE_DIR}/resources/scenes/*.tavolin)
install(FILES ${TAVOLIN_INSTALL_SCENES} DESTINATION ${TAVOLIN_INSTALL_APPDIR}/scenes)
install(FILES ${CMAKE_BINARY_DIR}/bin/tavolinhelp.qhc ${CMAKE_BINARY_DIR}/bin/tavolinhelp.qch
        DESTINATION ${TAVOLIN_INSTALL_APPDIR} OPTIONAL)

set(desktop ${CMAKE_SOURCE_DIR}/resources/desktop)
install(FILES ${desktop}/tavolin.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop}/tavolin.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${desktop}/tavolin-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME tavolin.xml)
# The desktop's caches learn the new type and entry; skipped for staged installs (DESTDIR),
# where the package manager runs them.
install(CODE "
    if(\"\$ENV{DESTDIR}\" STREQUAL \"\")
        set(share \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}\")
        foreach(step \"update-mime-database;\${share}/mime\"
                     \"update-desktop-database;\${share}/applications\"
                     \"gtk-update-icon-cache;-q;-t;\${share}/icons/hicolor\")
            list(GET step 0 tool)
            find_program(found_\${tool} \${tool})
            if(found_\${tool})
                list(SUBLIST step 1 -1 args)
                execute_process(COMMAND \${found_\${tool}} \${args} RESULT_VARIABLE ignored
                                OUTPUT_QUIET ERROR_QUIET)
            endif()
        endforeach()
    endif()")
