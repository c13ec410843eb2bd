# Install layout and the Debian package. Only the viewer is installed: tests,
# benchmarks and the vendor-site server stay in the build tree.
include(GNUInstallDirs)

set(LICHUAN_PACKAGE_NAME lichuantv)
set(LICHUAN_CONTACT "栎川软件工作室 <lichuan-studio@163.com>")

install(TARGETS lichuantv
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    BUNDLE DESTINATION .)

if(UNIX AND NOT APPLE)
    set(linux_dir ${PROJECT_SOURCE_DIR}/packaging/linux)
    set(images_dir ${PROJECT_SOURCE_DIR}/src/app/images)
    set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${LICHUAN_PACKAGE_NAME})

    # The file name must stay lichuantv.desktop: startup.cpp hands that id to
    # the window system, which matches windows to menu entries by it.
    install(FILES ${linux_dir}/lichuantv.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${linux_dir}/cn.lichuan.tv.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${images_dir}/remote.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME lichuantv.svg)
    install(FILES ${images_dir}/remote.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME lichuantv.png)
    install(FILES ${linux_dir}/copyright DESTINATION ${doc_dir})

    # Debian wants these compressed with -9n (no name, no time stamp) so the
    # package builds the same twice.
    find_program(LICHUAN_GZIP gzip)
    if(LICHUAN_GZIP)
        set(gz_dir ${PROJECT_BINARY_DIR}/packaging)
        add_custom_command(OUTPUT ${gz_dir}/changelog.gz ${gz_dir}/lichuantv.1.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${gz_dir}
            COMMAND ${CMAKE_COMMAND} -E copy ${linux_dir}/changelog ${linux_dir}/lichuantv.1 ${gz_dir}
            COMMAND ${LICHUAN_GZIP} -9nf ${gz_dir}/changelog ${gz_dir}/lichuantv.1
            DEPENDS ${linux_dir}/changelog ${linux_dir}/lichuantv.1
            VERBATIM)
        add_custom_target(lichuan_packaging_docs ALL
            DEPENDS ${gz_dir}/changelog.gz ${gz_dir}/lichuantv.1.gz)
        install(FILES ${gz_dir}/changelog.gz DESTINATION ${doc_dir})
        install(FILES ${gz_dir}/lichuantv.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
        message(WARNING "gzip not found: the changelog and manual page are not installed")
    endif()
endif()

set(CPACK_PACKAGE_NAME ${LICHUAN_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "栎川软件工作室")
set(CPACK_PACKAGE_CONTACT "${LICHUAN_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "free online TV viewer - 免费在线观看电视节目")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[栎川在线电视机是一款收看网上免费电视直播的桌面程序。
从电视节目表单中挑选频道，即可在程序窗口内直接观看。

Lichuan Online TV (栎川在线电视机) is a desktop viewer for free online
television: pick a channel from the programme list and watch it inside
the viewer window. The interface is in Simplified Chinese.]=])
set(CPACK_STRIP_FILES ON)
if(UNIX AND NOT APPLE)
    set(CPACK_GENERATOR DEB)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LICHUAN_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run-time needs no linked library states: WebEngine starts its renderer as a
# separate program, Qt's own dialog buttons are only Chinese with the Qt
# catalogues, and without a CJK font every text, the home-page offer's
# included, is boxes (any of Debian's CJK fonts will do).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin, qt6-translations-l10n, fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei | fonts-arphic-uming")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
