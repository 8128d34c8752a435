#include "qrmt_const.h"

namespace qrmt {

// The built-in formats, in their historical order; the list is sorted by
// title after reading.
const std::array<const char*, DefaultFileTypeCount> DefaultFileTypeTexts = {
    "<filetype title=\"ADA\" enabled=\"True\">  <extensions>    <extension value=\"*.ada\" enabled=\"True\" />    "
    "<extension value=\"*.ads\" enabled=\"True\" />    <extension value=\"*.adb\" enabled=\"True\" />  </extensions>  "
    "<comments>    <comment type=\"0\" start=\"--\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Assembly\" enabled=\"True\">  <extensions>    <extension value=\"*.asm\" enabled=\"True\" />    "
    "<extension value=\"*.s\" enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\";\" "
    "stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"AWK\" enabled=\"True\">  <extensions>    <extension value=\"*.awk\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"#\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Visual Basic/Basic/VB Script\" enabled=\"True\">  <extensions>    <extension value=\"*.bas\" "
    "enabled=\"True\" />    <extension value=\"*.vbs\" enabled=\"True\" />    <extension value=\"*.vb\" "
    "enabled=\"True\" />    <extension value=\"*.cl\" enabled=\"True\" />    <extension value=\"*.cls\" "
    "enabled=\"True\" />    <extension value=\"*.frm\" enabled=\"True\" />  </extensions>  <comments>    <comment "
    "type=\"0\" start=\"'\" stop=\"\" fixedcol=\"0\" />    <comment type=\"0\" start=\"REM\" stop=\"\" fixedcol=\"0\" "
    "/>    <comment type=\"0\" start=\"Rem\" stop=\"\" fixedcol=\"0\" />    <comment type=\"0\" start=\"rem\" "
    "stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"C\" enabled=\"True\">  <extensions>    <extension value=\"*.c\" enabled=\"True\" />    "
    "<extension value=\"*.h\" enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\"//\" "
    "stop=\"\" fixedcol=\"0\" />    <comment type=\"1\" start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  "
    "</comments></filetype>",
    "<filetype title=\"C++\" enabled=\"True\">  <extensions>    <extension value=\"*.cc\" enabled=\"True\" />    "
    "<extension value=\"*.cpp\" enabled=\"True\" />    <extension value=\"*.cxx\" enabled=\"True\" />    <extension "
    "value=\"*.inl\" enabled=\"True\" />    <extension value=\"*.tlh\" enabled=\"True\" />    <extension "
    "value=\"*.tli\" enabled=\"True\" />    <extension value=\"*.h\" enabled=\"True\" />    <extension value=\"*.hh\" "
    "enabled=\"True\" />    <extension value=\"*.hpp\" enabled=\"True\" />    <extension value=\"*.hxx\" "
    "enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\"//\" stop=\"\" fixedcol=\"0\" />    "
    "<comment type=\"1\" start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"C Shell\" enabled=\"True\">  <extensions>    <extension value=\"*.csh\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"#\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"COBOL\" enabled=\"True\">  <extensions>    <extension value=\"*.cob\" enabled=\"True\" />    "
    "<extension value=\"*.cbl\" enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\"*\" "
    "stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"C#\" enabled=\"True\">  <extensions>    <extension value=\"*.cs\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"//\" stop=\"\" fixedcol=\"0\" />    <comment type=\"1\" "
    "start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Fortran\" enabled=\"True\">  <extensions>    <extension value=\"*.f\" enabled=\"True\" />    "
    "<extension value=\"*.f77\" enabled=\"True\" />    <extension value=\"*.f90\" enabled=\"True\" />    <extension "
    "value=\"*.f95\" enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\"C \" stop=\"\" "
    "fixedcol=\"1\" />    <comment type=\"0\" start=\"C\t\" stop=\"\" fixedcol=\"1\" />    <comment type=\"0\" "
    "start=\"*\" stop=\"\" fixedcol=\"1\" />  </comments></filetype>",
    "<filetype title=\"Haskell\" enabled=\"True\">  <extensions>    <extension value=\"*.hs\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"--\" stop=\"\" fixedcol=\"0\" />    <comment type=\"1\" "
    "start=\"{-\" stop=\"-}\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"INC\" enabled=\"True\">  <extensions>    <extension value=\"*.inc\" enabled=\"True\" />  "
    "</extensions>  <comments>  </comments></filetype>",
    "<filetype title=\"Java\" enabled=\"True\">  <extensions>    <extension value=\"*.java\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"//\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Lex/Flex\" enabled=\"True\">  <extensions>    <extension value=\"*.l\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"1\" start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  "
    "</comments></filetype>",
    "<filetype title=\"LISP/Scheme\" enabled=\"True\">  <extensions>    <extension value=\"*.el\" enabled=\"True\" />  "
    "  <extension value=\"*.scm\" enabled=\"True\" />    <extension value=\"*.lsp\" enabled=\"True\" />    <extension "
    "value=\"*.jl\" enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\";\" stop=\"\" "
    "fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Makefile\" enabled=\"True\">  <extensions>    <extension value=\"makefile\" enabled=\"True\" /> "
    " </extensions>  <comments>    <comment type=\"0\" start=\"#\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Modula-3\" enabled=\"True\">  <extensions>    <extension value=\"*.m3\" enabled=\"True\" />    "
    "<extension value=\"*.i3\" enabled=\"True\" />  </extensions>  <comments>    <comment type=\"1\" start=\"(*\" "
    "stop=\"*)\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Objective-C\" enabled=\"True\">  <extensions>    <extension value=\"*.m\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"//\" stop=\"\" fixedcol=\"0\" />    <comment type=\"1\" "
    "start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Delphi/Pascal\" enabled=\"True\">  <extensions>    <extension value=\"*.dpr\" enabled=\"True\" "
    "/>    <extension value=\"*.pas\" enabled=\"True\" />    <extension value=\"*.p\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"//\" stop=\"\" fixedcol=\"0\" />    <comment type=\"1\" "
    "start=\"{\" stop=\"}\" fixedcol=\"0\" />    <comment type=\"1\" start=\"(*\" stop=\"*)\" fixedcol=\"0\" />  "
    "</comments></filetype>",
    "<filetype title=\"Perl\" enabled=\"True\">  <extensions>    <extension value=\"*.pl\" enabled=\"True\" />    "
    "<extension value=\"*.pm\" enabled=\"True\" />    <extension value=\"*.perl\" enabled=\"True\" />  </extensions>  "
    "<comments>    <comment type=\"0\" start=\"#\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"PHP\" enabled=\"True\">  <extensions>    <extension value=\"*.php\" enabled=\"True\" />    "
    "<extension value=\"*.php3\" enabled=\"True\" />    <extension value=\"*.php4\" enabled=\"True\" />    <extension "
    "value=\"*.php5\" enabled=\"True\" />    <extension value=\"*.inc\" enabled=\"True\" />  </extensions>  <comments> "
    "   <comment type=\"0\" start=\"//\" stop=\"\" fixedcol=\"0\" />    <comment type=\"1\" start=\"/*\" stop=\"*/\" "
    "fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Python\" enabled=\"True\">  <extensions>    <extension value=\"*.py\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"#\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Ruby\" enabled=\"True\">  <extensions>    <extension value=\"*.rb\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"#\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Sed\" enabled=\"True\">  <extensions>    <extension value=\"*.sed\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"#\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Bourne Shell and Variants\" enabled=\"True\">  <extensions>    <extension value=\"*.sh\" "
    "enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\"'\" stop=\"\" fixedcol=\"0\" />  "
    "</comments></filetype>",
    "<filetype title=\"SQL\" enabled=\"True\">  <extensions>    <extension value=\"*.sql\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"--\" stop=\"\" fixedcol=\"0\" />    <comment type=\"1\" "
    "start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"TCL\" enabled=\"True\">  <extensions>    <extension value=\"*.itk\" enabled=\"True\" />    "
    "<extension value=\"*.tcl\" enabled=\"True\" />    <extension value=\"*.tk\" enabled=\"True\" />  </extensions>  "
    "<comments>    <comment type=\"0\" start=\"#\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Yacc/Bison\" enabled=\"True\">  <extensions>    <extension value=\"*.y\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"1\" start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  "
    "</comments></filetype>",
    "<filetype title=\"ASP Files\" enabled=\"True\">  <extensions>    <extension value=\"*.asp\" enabled=\"True\" />   "
    " <extension value=\"*.aspx\" enabled=\"True\" />    <extension value=\"*.asax\" enabled=\"True\" />    <extension "
    "value=\"*.ascx\" enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\"'\" stop=\"\" "
    "fixedcol=\"0\" />    <comment type=\"1\" start=\"<!--\" stop=\"-->\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"XML\" enabled=\"True\">  <extensions>    <extension value=\"*.xml\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"1\" start=\"<!--\" stop=\"-->\" fixedcol=\"0\" />  "
    "</comments></filetype>",
    "<filetype title=\"Plain text\" enabled=\"True\">  <extensions>    <extension value=\"*.txt\" enabled=\"True\" />  "
    "</extensions>  <comments>  </comments></filetype>",
    "<filetype title=\"Report Program Generator\" enabled=\"True\">  <extensions>    <extension value=\"*.rpg\" "
    "enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\"*\" stop=\"\" fixedcol=\"7\" />  "
    "</comments></filetype>",
    "<filetype title=\"PL/I, PL/M\" enabled=\"True\">  <extensions>    <extension value=\"*.pli\" enabled=\"True\" />  "
    "  <extension value=\"*.plm\" enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\"--\" "
    "stop=\"\" fixedcol=\"0\" />    <comment type=\"1\" start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  "
    "</comments></filetype>",
    "<filetype title=\"Log Files\" enabled=\"True\">  <extensions>    <extension value=\"*.log\" enabled=\"True\" />  "
    "</extensions>  <comments>  </comments></filetype>",
    "<filetype title=\"Java Script\" enabled=\"True\">  <extensions>    <extension value=\"*.js\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\"//\" stop=\"\" fixedcol=\"0\" />    <comment type=\"1\" "
    "start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"Java Server Pages\" enabled=\"True\">  <extensions>    <extension value=\"*.jsp\" "
    "enabled=\"True\" />  </extensions>  <comments>    <comment type=\"0\" start=\"//\" stop=\"\" fixedcol=\"0\" />    "
    "<comment type=\"1\" start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"INI Files\" enabled=\"True\">  <extensions>    <extension value=\"*.ini\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"0\" start=\";\" stop=\"\" fixedcol=\"0\" />  </comments></filetype>",
    "<filetype title=\"HTML\" enabled=\"True\">  <extensions>    <extension value=\"*.htm\" enabled=\"True\" />    "
    "<extension value=\"*.html\" enabled=\"True\" />    <extension value=\"*.shtml\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"1\" start=\"<!--\" stop=\"-->\" fixedcol=\"0\" />  "
    "</comments></filetype>",
    "<filetype title=\"CSV Files\" enabled=\"True\">  <extensions>    <extension value=\"*.csv\" enabled=\"True\" />  "
    "</extensions>  <comments>  </comments></filetype>",
    "<filetype title=\"CSS Files\" enabled=\"True\">  <extensions>    <extension value=\"*.css\" enabled=\"True\" />  "
    "</extensions>  <comments>    <comment type=\"1\" start=\"/*\" stop=\"*/\" fixedcol=\"0\" />  "
    "</comments></filetype>",
    "<filetype title=\"Batch Files\" enabled=\"True\">  <extensions>    <extension value=\"*.bat\" enabled=\"True\" /> "
    " </extensions>  <comments>    <comment type=\"0\" start=\"rem\" stop=\"\" fixedcol=\"0\" />  "
    "</comments></filetype>",
};

void LoadDefaultFileTypes(TFileTypeList& list) {
  list.Clear();
  for (const char* text : DefaultFileTypeTexts) list.Add()->ReadFromText(text);
  list.SortByTitle();
}

}  // namespace qrmt
