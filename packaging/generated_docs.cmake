# Manual pages and shell completions, written at build time from the
# programs themselves so that they always name the options the programs
# take: tarnwick-cli(1) from its option definitions (`--manual`) plus the
# hand-written sections, tarnwick(1) through help2man from `tarnwick --help`,
# the completion scripts from `tarnwick-cli --completion <shell>`.
set(TARNWICK_DOCS_DIR ${PROJECT_BINARY_DIR}/share)
set(TARNWICK_CLI_MANUAL ${TARNWICK_DOCS_DIR}/man/man1/tarnwick-cli.1)
set(TARNWICK_BASH_COMPLETION ${TARNWICK_DOCS_DIR}/bash-completion/completions/tarnwick-cli)
set(TARNWICK_ZSH_COMPLETION ${TARNWICK_DOCS_DIR}/zsh/vendor-completions/_tarnwick-cli)
set(TARNWICK_FISH_COMPLETION ${TARNWICK_DOCS_DIR}/fish/vendor_completions.d/tarnwick-cli.fish)
set(TARNWICK_MAN_SECTIONS ${PROJECT_SOURCE_DIR}/packaging/man/tarnwick-cli.sections)

add_custom_command(OUTPUT ${TARNWICK_CLI_MANUAL}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNWICK_DOCS_DIR}/man/man1
  COMMAND sh -c "\"$0\" --manual >\"$1\" && cat \"$2\" >>\"$1\"" $<TARGET_FILE:tarnwick-cli>
          ${TARNWICK_CLI_MANUAL} ${TARNWICK_MAN_SECTIONS}
  DEPENDS tarnwick-cli ${TARNWICK_MAN_SECTIONS} VERBATIM)
set(TARNWICK_DOCS ${TARNWICK_CLI_MANUAL})
foreach(shell bash zsh fish)
  string(TOUPPER ${shell} upper)
  set(out ${TARNWICK_${upper}_COMPLETION})
  get_filename_component(dir ${out} DIRECTORY)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND sh -c "\"$0\" --completion $1 >\"$2\"" $<TARGET_FILE:tarnwick-cli> ${shell} ${out}
    DEPENDS tarnwick-cli VERBATIM)
  list(APPEND TARNWICK_DOCS ${out})
endforeach()

if(TARGET tarnwick)
  find_program(HELP2MAN help2man)
  if(HELP2MAN)
    set(TARNWICK_GUI_MANUAL ${TARNWICK_DOCS_DIR}/man/man1/tarnwick.1)
    add_custom_command(OUTPUT ${TARNWICK_GUI_MANUAL}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNWICK_DOCS_DIR}/man/man1
      COMMAND ${HELP2MAN} --no-info --section=1 --version-string=tarnwick\ ${PROJECT_VERSION} --name=the\ Tarnwick\ cloud\ storage\ desktop\ client
              --include=${PROJECT_SOURCE_DIR}/packaging/man/tarnwick.h2m --output=${TARNWICK_GUI_MANUAL}
              $<TARGET_FILE:tarnwick>
      DEPENDS tarnwick ${PROJECT_SOURCE_DIR}/packaging/man/tarnwick.h2m VERBATIM)
    list(APPEND TARNWICK_DOCS ${TARNWICK_GUI_MANUAL})
  else()
    message(WARNING "help2man not found: tarnwick(1) is not built (scripts/install-deps.sh installs it)")
  endif()
endif()

add_custom_target(tarnwick_docs ALL DEPENDS ${TARNWICK_DOCS})
