# vcl_embed_text(<target> <file> <qualified symbol>)
#
# Builds a text file into <target> as a string constant, for form resources: the file's bytes
# become
#     extern const std::string_view <symbol>;   // e.g. update::kIupdateForm
# which the target's code declares itself (in a header, with the same namespace) and reads with
# vcl::ReadForm. The constant is regenerated whenever the file changes.
function(vcl_embed_text target file symbol)
  get_filename_component(input ${file} ABSOLUTE)
  string(MAKE_C_IDENTIFIER ${symbol} stem)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/embedded/${stem}.cpp)
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/EmbedTextScript.cmake)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol} -P ${script}
    DEPENDS ${input} ${script}
    COMMENT "Embedding ${file} as ${symbol}"
    VERBATIM)
  target_sources(${target} PRIVATE ${output})
endfunction()
