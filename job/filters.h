// The file dialogs' filters: description and pattern pairs, each NUL-ended,
// the list ended by an extra NUL, as Win32 takes them (FLTK's front end
// translates them). Here so that the front ends' tests read the same lists.
#pragma once

// The mesh: plain or compressed (Poser's .obz).
inline constexpr char filterOBJ[] = "OBJ files\0*.OBJ;*.OBZ\0";
// What gives the colours: Poser figures, Poser's other files of material
// blocks and material libraries, each beside its compressed name.
inline constexpr char filterCR2[] = "CR2 files\0*.CR2;*.CRZ\0"
                                    "material files\0*.mtl;*.mc6;*.mt5;*.pz2;*.hr2;*.pp2;"
                                    "*.mtl.gz;*.mcz;*.mz5;*.p2z;*.hrz;*.ppz\0"
                                    "all files\0*.*\0";
