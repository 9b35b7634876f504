# `cmake --install`: the two programs (stripped), their man pages and bash completion, AppStream
# metainfo, the licence and documentation, the read-only program files under share/corvalis-survey
# (a pristine default database that no build or test has touched, the data-file template and the
# shipped layouts and lists), a desktop entry and an icon. On first start an installed program copies
# the shared files into a folder of the user's own and works there.
include(GNUInstallDirs)

set(CORVALIS_PRISTINE_DIR ${CMAKE_BINARY_DIR}/pristine)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/pristine-folder.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CORVALIS_PRISTINE_DIR}
  COMMAND corvalis-make-folder ${CORVALIS_PRISTINE_DIR} ${CMAKE_SOURCE_DIR}/data/program
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/pristine-folder.stamp
  DEPENDS corvalis-make-folder ${PROGRAM_FILES}
  COMMENT "Assembling the program files to install")
add_custom_target(pristine_folder ALL DEPENDS ${CMAKE_BINARY_DIR}/pristine-folder.stamp)

install(TARGETS corvalis-survey corvalis-survey-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CORVALIS_PRISTINE_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/corvalis-survey
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/corvalis-survey.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/corvalis-survey.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Man pages made from the programs' own --help and --version output, so they never drift from them.
set(CORVALIS_MAN_DIR ${CMAKE_BINARY_DIR}/man)
add_custom_command(
  OUTPUT ${CORVALIS_MAN_DIR}/corvalis-survey-cli.1 ${CORVALIS_MAN_DIR}/corvalis-survey.1
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVALIS_MAN_DIR}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/make-manpage.py $<TARGET_FILE:corvalis-survey-cli>
    ${CORVALIS_MAN_DIR}/corvalis-survey-cli.1 --name corvalis-survey-cli --commands
    --summary "基层工会统计年报的命令行工具"
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/make-manpage.py $<TARGET_FILE:corvalis-survey>
    ${CORVALIS_MAN_DIR}/corvalis-survey.1 --name corvalis-survey
    --summary "基层工会统计年报的录入、检查、汇总与上报"
  DEPENDS corvalis-survey corvalis-survey-cli ${CMAKE_SOURCE_DIR}/tools/make-manpage.py
  COMMENT "Writing the man pages")
add_custom_target(manpages ALL DEPENDS ${CORVALIS_MAN_DIR}/corvalis-survey-cli.1 ${CORVALIS_MAN_DIR}/corvalis-survey.1)
install(FILES ${CORVALIS_MAN_DIR}/corvalis-survey-cli.1 ${CORVALIS_MAN_DIR}/corvalis-survey.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${CMAKE_SOURCE_DIR}/packaging/corvalis-survey-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME corvalis-survey-cli)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/com.talvoren.corvalis_survey.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/docs/用户指南.md DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)

# Installed programs are stripped. Their debug information stays beside the build (build/debug), linked
# by name and checksum, and installs on request (cmake --install build --component debug) where gdb
# looks for it: lib/debug followed by the program's full path.
set(CORVALIS_DEBUG_DIR ${CMAKE_BINARY_DIR}/debug)
install(CODE "
  file(MAKE_DIRECTORY \"${CORVALIS_DEBUG_DIR}\")
  foreach(pair \"corvalis-survey=$<TARGET_FILE:corvalis-survey>\" \"corvalis-survey-cli=$<TARGET_FILE:corvalis-survey-cli>\")
    string(REGEX REPLACE \"=.*\" \"\" program \"\${pair}\")
    string(REGEX REPLACE \"^[^=]*=\" \"\" built \"\${pair}\")
    set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
    set(debug_file \"${CORVALIS_DEBUG_DIR}/\${program}.debug\")
    # The debug file comes from the built program, so installing twice never loses it.
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --only-keep-debug \"\${built}\" \"\${debug_file}\" COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded --remove-section=.gnu_debuglink \"\${installed}\"
      COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --add-gnu-debuglink=\${debug_file} \"\${installed}\" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()")
install(FILES ${CORVALIS_DEBUG_DIR}/corvalis-survey.debug ${CORVALIS_DEBUG_DIR}/corvalis-survey-cli.debug
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/debug${CMAKE_INSTALL_FULL_BINDIR} COMPONENT debug EXCLUDE_FROM_ALL OPTIONAL)
