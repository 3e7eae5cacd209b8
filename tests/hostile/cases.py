"""The hostile cases: for each, the fixtures it needs, the command-line
options, and what the user must get: the exit status, every line on standard
error and standard output (exact, or "re:" and a regular expression that must
match the whole line), and each map file that must exist afterwards, checked
against the map of an equivalent clean input ("same", with that run's
options) or for its header ("bmp", the side). A map that is not listed must
not exist. Files are named relative to the case's work folder, where the
program runs.

Not run here, as it needs a seam inside the reader: a file that vanishes
between the pre-count and the reading pass (mesh_tests,
ObjRead.FileVanishingBetweenThePassesIsReported).
"""
from fixtures import FOLDEDNAMES, HEADLINES, LONGL, LONGR, NAME10K, WORLDNAMES

BAD = "bad mesh, or this file ain't a mesh file: %s"
CANTOPEN = "uvpaint: %s: I can't open this file (%s)"
NOFILE, FOLDER = "No such file or directory", "Is a directory"
CREATED = "I have created this texture map file: map.bmp"
CR2ONLY = "these materials are in the .CR2 file but not in the .OBJ file: %s"
SEPARATE = ("Each file's name will be the name that you specified with the name of the "
            "material appended")
OBJONLY = "these materials are in the .OBJ file but not in the .CR2 file: %s"


def badline(n, obj):
    return ["%s: line %d is bad" % (obj, n), BAD % obj]


def colored(obj, cr2="clean.cr2", out="map.bmp", *more):
    return ["--obj", obj, "--cr2", cr2, "--out", out, "--size", "64"] + list(more)


def meshmap(obj, out="map.bmp"):
    return ["--obj", obj, "--out", out, "--size", "64"]


def same(*args):
    """The map must equal the one these options make into ref.bmp."""
    return ("same", list(args))


def case(name, files, args, status, err=(), out=(), maps=None, windows=None):
    """windows: what Windows gives instead, where it differs by design
    (status, err, out, maps); its maps are then not compared with Linux's."""
    return dict(name=name, files=list(files), args=args, status=status, err=list(err),
                out=list(out), maps=maps or {}, windows=windows)


DEVICE = "uvpaint: %s: Windows keeps this name for a device: no file can have it"


def device(name, out, *more):
    """A map named as a Windows device: a file on Linux, refused on Windows
    before any question, with nothing reported as created."""
    return case(name, ["clean.obj", "sub"], meshmap("clean.obj", out) + list(more), 0,
                ["I have created this texture map file: " + out], maps={out: ("bmp", 64)},
                windows=dict(status=2, err=[DEVICE % out], out=[], maps={}))


def separate(names):
    """Per-material maps of a mesh whose names are these, all paired."""
    return ["map_%s.bmp" % n for n in names]


CLEANMAP = {"map.bmp": same(*colored("clean.obj", out="ref.bmp"))}


def sameas(obj, cr2="clean.cr2"):
    return {"map.bmp": same(*colored(obj, cr2, out="ref.bmp"))}


def failed(name, obj, err, files=None, args=None):
    """A mesh that must be refused: status 2, these lines, no map."""
    return case(name, files if files is not None else [obj, "clean.cr2"],
                args or colored(obj), 2, err)


H = HEADLINES + 1  # the line after the square's vertices and coordinates

CASES = [
    # -- line structure ----------------------------------------------------
    failed("obj_empty", "empty.obj", [BAD % "empty.obj"]),
    failed("obj_blank_lines", "blank.obj", [BAD % "blank.obj"]),
    case("obj_cr_only", ["cronly.obj", "clean.obj", "clean.cr2"], colored("cronly.obj"), 0,
         [CREATED], maps=CLEANMAP),
    case("obj_mixed_line_ends", ["mixedends.obj", "clean.obj", "clean.cr2"],
         colored("mixedends.obj"), 0, [CREATED], maps=CLEANMAP),
    case("obj_nul_in_lines", ["nulbytes.obj", "clean.obj", "clean.cr2"], colored("nulbytes.obj"), 0,
         [CREATED], maps=CLEANMAP),
    case("obj_utf8_bom", ["bom.obj", "clean.obj", "clean.cr2"], colored("bom.obj"), 0,
         [CREATED], maps=CLEANMAP),
    case("obj_last_line_without_break", ["nonewline.obj", "clean.obj", "clean.cr2"],
         colored("nonewline.obj"), 0, [CREATED], maps=CLEANMAP),
    case("obj_10m_character_comment", ["longcomment.obj", "clean.obj", "clean.cr2"],
         colored("longcomment.obj"), 0, [CREATED], maps=CLEANMAP),
    case("obj_10m_digit_number", ["longnumber.obj", "clean.obj", "clean.cr2"],
         colored("longnumber.obj"), 0, [CREATED], maps=CLEANMAP),
    case("obj_10m_character_face_line", ["longface.obj", "clean.obj", "clean.cr2"],
         colored("longface.obj"), 0, [CREATED], maps=CLEANMAP),
    failed("obj_binary", "binary.obj", badline(383, "binary.obj")),
    failed("obj_bmp_given_as_mesh", "bmpasobj.obj", [BAD % "bmpasobj.obj"]),
    failed("obj_gzip", "gzip.obj", [BAD % "gzip.obj"]),
    failed("obj_directory", "dir.obj", [CANTOPEN % ("dir.obj", FOLDER)]),
    failed("obj_missing", "missing.obj", [CANTOPEN % ("missing.obj", NOFILE)], files=["clean.cr2"]),
    # -- faces and corners -------------------------------------------------
    failed("obj_face_100000_corners", "face100000.obj", badline(H, "face100000.obj")),
    case("obj_face_32767_corners", ["face32767.obj", "clean.cr2"], colored("face32767.obj"), 0,
         [CREATED], maps={"map.bmp": ("bmp", 64)}),
    failed("obj_index_0", "index0.obj", badline(H, "index0.obj")),
    failed("obj_index_beyond_vertices", "indexbeyond.obj", badline(H, "indexbeyond.obj")),
    failed("obj_forward_reference", "forwardref.obj", badline(3, "forwardref.obj")),
    failed("obj_index_2147483648", "index2147483648.obj", badline(H, "index2147483648.obj")),
    failed("obj_index_4294967297", "index4294967297.obj", badline(H, "index4294967297.obj")),
    failed("obj_index_99999999999", "index99999999999.obj", badline(H, "index99999999999.obj")),
    failed("obj_index_min_int64", "indexmin64.obj", badline(H, "indexmin64.obj")),
    failed("obj_index_minus_4294967295", "indexneg4294967295.obj",
           badline(H, "indexneg4294967295.obj")),
    # out-of-range texture numbers stand for texture coordinate 1
    case("obj_texture_index_huge", ["texindexhuge.obj", "texindexone.obj", "clean.cr2"],
         colored("texindexhuge.obj"), 0, [CREATED], maps=sameas("texindexone.obj")),
    failed("obj_corner_slash_3", "slash3.obj", badline(H, "slash3.obj")),
    # corners without texture coordinates paint nothing
    case("obj_corner_1_slash_slash", ["slashslash.obj", "lipsonly.obj", "clean.cr2"],
         colored("slashslash.obj"), 0, [CREATED], maps=sameas("lipsonly.obj")),
    case("obj_faces_of_1_and_2_corners", ["face1and2.obj", "lipsonly.obj", "clean.cr2"],
         colored("face1and2.obj"), 0, [CREATED], maps=sameas("lipsonly.obj")),
    case("obj_faces_of_1_and_2_corners_outlined", ["face1and2.obj", "face1and2ref.obj"],
         meshmap("face1and2.obj"), 0, [CREATED],
         maps={"map.bmp": same(*meshmap("face1and2ref.obj", "ref.bmp"))}),
    failed("obj_vertex_of_2_numbers", "vtwonumbers.obj", badline(2, "vtwonumbers.obj")),
    failed("obj_no_texture_coordinates", "novt.obj", ["this mesh contains no `vt' lines: novt.obj"]),
    # -- numbers -----------------------------------------------------------
    case("obj_nan_inf_1e999_coordinates", ["nancoords.obj", "zerocoords.obj", "clean.cr2"],
         colored("nancoords.obj"), 0, [CREATED], maps=sameas("zerocoords.obj")),
    # -- names -------------------------------------------------------------
    case("obj_10000_character_names", ["longnames.obj", "clean.cr2"],
         colored("longnames.obj", "clean.cr2", "map.bmp", "--separate"), 0,
         [SEPARATE, CR2ONLY % "skin", OBJONLY % NAME10K],
         ["map_%s.bmp" % NAME10K[:31], "map_lips.bmp"],
         maps={"map_%s.bmp" % NAME10K[:31]: ("bmp", 64), "map_lips.bmp": ("bmp", 64)}),
    # names of 40 characters, alike in their first 31, each used 20,000
    # times: two materials, paired with the figure by their whole names
    case("obj_40_character_names_used_often",
         ["longpair.obj", "longpair.cr2", "longpairl.obj", "longpairr.obj"],
         colored("longpair.obj", "longpair.cr2", "map.bmp", "--separate"), 0, [SEPARATE],
         ["map_%s.bmp" % LONGL[:31], "map_%s_2.bmp" % LONGL[:31]],
         maps={"map_%s.bmp" % LONGL[:31]: same(*colored("longpairl.obj", "longpair.cr2", "ref.bmp")),
               "map_%s_2.bmp" % LONGL[:31]: same(*colored("longpairr.obj", "longpair.cr2", "ref.bmp"))}),
    case("obj_40_character_names_pair", ["longpair1.obj", "longpair.cr2"],
         ["--obj", "longpair1.obj", "--cr2", "longpair.cr2"], 0, out=["uvpaint: every material name pairs"]),
    # the 32768th material with faces: material m32768's line
    failed("obj_40000_materials", "materials40000.obj",
           badline(HEADLINES + 2 * 32768 - 1, "materials40000.obj")),
    # each faceless material gives its slot to the next
    case("obj_40000_faceless_materials", ["materials40000faceless.obj", "clean.obj", "clean.cr2"],
         colored("materials40000faceless.obj"), 0, [CREATED], maps=CLEANMAP),
    # 1,000,000 distinct groups: group g32767 is the 32768th
    failed("obj_1000000_groups", "groups1m.obj", badline(HEADLINES + 1 + 32768, "groups1m.obj")),
    case("obj_1000000_groups_of_30000_names", ["groups1mcycle.obj", "clean.obj", "clean.cr2"],
         colored("groups1mcycle.obj"), 0, [CREATED], maps=CLEANMAP),
    # at the limit of 32767 groups, names already known go on being found
    case("obj_32767_groups_then_1000000_known_names", ["groupsatlimit.obj", "clean.obj", "clean.cr2"],
         colored("groupsatlimit.obj"), 0, [CREATED], maps=CLEANMAP),
    # -- the figure file ---------------------------------------------------
    case("cr2_empty", ["clean.obj", "empty.cr2"], ["--obj", "clean.obj", "--cr2", "empty.cr2"], 1,
         out=[OBJONLY % "skin, lips"]),
    case("cr2_cr_only", ["clean.obj", "clean.cr2", "cronly.cr2"], colored("clean.obj", "cronly.cr2"),
         0, [CREATED], maps=CLEANMAP),
    case("cr2_256_materials", ["clean.obj", "materials256.cr2"],
         colored("clean.obj", "materials256.cr2"), 0,
         [CR2ONLY % ", ".join("m%d" % i for i in range(1, 256)), OBJONLY % "lips", CREATED],
         maps={"map.bmp": ("bmp", 64)}),
    case("cr2_257_materials", ["clean.obj", "materials257.cr2"],
         colored("clean.obj", "materials257.cr2"), 2,
         ["materials257.cr2: this .CR2 file contains more than 256 materials"]),
    # nan gives 0, inf 255, -1 is held at 0
    case("cr2_kdcolor_nan_inf_minus_1", ["clean.obj", "kdnaninf.cr2", "kdclamped.cr2"],
         colored("clean.obj", "kdnaninf.cr2"), 0, [CREATED],
         maps=sameas("clean.obj", "kdclamped.cr2")),
    case("cr2_kdcolor_1e999", ["clean.obj", "kdhuge.cr2", "kdhugeref.cr2"],
         colored("clean.obj", "kdhuge.cr2"), 0, [CREATED],
         maps=sameas("clean.obj", "kdhugeref.cr2")),
    case("cr2_kdcolor_2_numbers", ["clean.obj", "kdtwonumbers.cr2", "white.cr2"],
         colored("clean.obj", "kdtwonumbers.cr2"), 0, [CREATED],
         maps=sameas("clean.obj", "white.cr2")),
    case("cr2_10m_character_line", ["clean.obj", "clean.cr2", "longline.cr2"],
         colored("clean.obj", "longline.cr2"), 0, [CREATED], maps=CLEANMAP),
    case("cr2_10000_character_name", ["clean.obj", "longname.cr2", "longnameref.cr2"],
         colored("clean.obj", "longname.cr2"), 0,
         [CR2ONLY % NAME10K[:63], OBJONLY % "lips", CREATED],
         maps=sameas("clean.obj", "longnameref.cr2")),
    case("cr2_nul_in_line", ["clean.obj", "clean.cr2", "nulbytes.cr2"], colored("clean.obj", "nulbytes.cr2"),
         0, [CREATED], maps=CLEANMAP),
    case("cr2_binary", ["clean.obj", "binary.cr2"], ["--obj", "clean.obj", "--cr2", "binary.cr2"],
         1, out=[OBJONLY % "skin, lips"]),
    case("cr2_gzip", ["clean.obj", "gzip.cr2"], colored("clean.obj", "gzip.cr2"), 2,
         ["gzip.cr2: this .CR2 file is compressed: uncompress it first"]),
    case("cr2_directory", ["clean.obj", "dir.cr2"], colored("clean.obj", "dir.cr2"), 2,
         [CANTOPEN % ("dir.cr2", FOLDER)]),
    case("cr2_missing", ["clean.obj"], colored("clean.obj", "missing.cr2"), 2,
         [CANTOPEN % ("missing.cr2", NOFILE)]),
]

# -- maps in other formats and tiles, and the UV check's report -----------
BEYOND = ("1 face reaches beyond the UDIM tiles (u from 0 to 10, v from 0 to 100): "
          "no map shows what lies beyond")
CASES += [
    case("png_map", ["clean.obj", "clean.cr2"], colored("clean.obj", out="map.png"), 0,
         ["I have created this texture map file: map.png"], maps={"map.png": ("png", 64)}),
    case("png_alpha_tiles_far_out", ["tiles3.obj"],
         ["--obj", "tiles3.obj", "--out", "map.png", "--size", "16", "--tiles", "--alpha"], 0,
         [BEYOND], ["map.1001.png", "map.1002.png", "map.1003.png"],
         maps={"map.%d.png" % t: ("png", 16) for t in (1001, 1002, 1003)}),
    case("tiles_1000", ["tiles1000.obj"],
         ["--obj", "tiles1000.obj", "--out", "map.bmp", "--size", "2", "--tiles", "-q"], 0, [BEYOND],
         maps={"map.%d.bmp" % (1001 + k): ("bmp", 2) for k in range(1000)}),
    case("svg_nan_inf_coordinates", ["nancoords.obj"],
         ["--obj", "nancoords.obj", "--out", "map.svg", "--size", "64"], 0,
         ["I have created this texture map file: map.svg"], maps={"map.svg": ("svg", 64)}),
    case("report_nan_inf_coordinates", ["nancoords.obj"], ["--obj", "nancoords.obj", "--report=json"], 1,
         out=["*"]),
    case("report_1000_tiles", ["tiles1000.obj"], ["--obj", "tiles1000.obj", "--report", "--size", "2048"], 1,
         out=["*"]),
    case("check_picture_far_out", ["tiles3.obj"],
         ["--obj", "tiles3.obj", "--kind", "check", "--out", "map.bmp", "--size", "64"], 0,
         ["uvpaint: 3 faces reach beyond texture space 0..1, which the map does not show; --tiles paints them "
          "as UDIM tiles", CREATED], maps={"map.bmp": ("bmp", 64)}),
]

# -- names: no name turns into another, on any platform ------------------
OMEGA, PERSON, FIGURE = "\u03a9", "\u4eba\u7269", "\u03c6\u03b9\u03b3\u03bf\u03cd\u03c1\u03b1"
CASES += [
    case("name_omega_map", ["clean.obj", "clean.cr2"], colored("clean.obj", out=OMEGA + ".bmp"), 0,
         [CREATED.replace("map.bmp", OMEGA + ".bmp")],
         maps={OMEGA + ".bmp": same(*colored("clean.obj", out="ref.bmp"))}),
    # a full-width slash is a letter: the map stays in this folder, not in sub/
    case("name_fullwidth_slash", ["clean.obj", "sub"], meshmap("clean.obj", "sub\uff0fx.bmp"), 0,
         ["I have created this texture map file: sub\uff0fx.bmp"], maps={"sub\uff0fx.bmp": ("bmp", 64)}),
    # O.obj holds another mesh: reading it for the omega shows in the map
    case("name_omega_mesh", [OMEGA + ".obj", "O.obj", "clean.obj", "clean.cr2"], colored(OMEGA + ".obj"), 0,
         [CREATED], maps=CLEANMAP),
    # Chinese mesh, Greek figure, a map named with an emoji and a combining accent
    case("name_world_files", [PERSON + ".obj", FIGURE + ".cr2", "clean.obj", "clean.cr2"],
         colored(PERSON + ".obj", FIGURE + ".cr2", "\U0001f600e\u0301.bmp"), 0,
         ["I have created this texture map file: \U0001f600e\u0301.bmp"],
         maps={"\U0001f600e\u0301.bmp": same(*colored("clean.obj", out="ref.bmp"))}),
    case("name_world_materials", ["worldnames.obj", "worldnames.cr2"],
         colored("worldnames.obj", "worldnames.cr2", "map.bmp", "--separate"), 0,
         [SEPARATE], separate(WORLDNAMES), maps={m: ("bmp", 64) for m in separate(WORLDNAMES)}),
    # Windows takes cafe with an accent in either case for one file, as it
    # does the two omegas: the second of each gets _2
    case("name_materials_one_file_on_windows", ["foldednames.obj", "foldednames.cr2"],
         colored("foldednames.obj", "foldednames.cr2", "map.bmp", "--separate"), 0,
         [SEPARATE], separate(FOLDEDNAMES), maps={m: ("bmp", 64) for m in separate(FOLDEDNAMES)},
         windows=dict(status=0, err=[SEPARATE],
                      out=separate([FOLDEDNAMES[0], FOLDEDNAMES[1] + "_2", FOLDEDNAMES[2], FOLDEDNAMES[3] + "_2"]),
                      maps={m: ("bmp", 64) for m in separate(
                          [FOLDEDNAMES[0], FOLDEDNAMES[1] + "_2", FOLDEDNAMES[2], FOLDEDNAMES[3] + "_2"])})),
    device("name_device_nul", "nul.bmp"),
    device("name_device_nul_overwrite", "nul.bmp", "--overwrite"),
    device("name_device_aux_capitals", "AUX.bmp"),
    device("name_device_com1", "com1.bmp"),
    device("name_device_lpt9_two_extensions", "lpt9.map.bmp"),
    device("name_device_trailing_spaces", "nul  .bmp"),
    device("name_device_in_a_folder", "sub/con.bmp"),
]

BYNAME = {c["name"]: c for c in CASES}
