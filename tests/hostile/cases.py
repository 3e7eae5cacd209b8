"""The hostile cases: for each, the fixtures it needs, the command-line
options, and what the user must get: the exit status, every line on standard
error and standard output (exact, or "re:" and a regular expression that must
match the whole line), and each map file that must exist afterwards, checked
against the map of an equivalent clean input ("same", with that run's
options) or for its header ("bmp", the side). A map that is not listed must
not exist. Files are named relative to the case's work folder, where the
program runs.

Cases may feed the mesh through a pipe (stdin), run through bash (shell),
hold the run's memory (vlimit), or be Linux's alone (linux: /dev files,
bash, address limits); under Wine only the others run.

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


def case(name, files, args, status, err=(), out=(), maps=None, stdin=None, shell=False, vlimit=None,
         biggest=None, linux=False, windows=None):
    """stdin: a fixture fed through a pipe; shell: args is a bash command
    that runs "$UVPAINT"; vlimit: the address space of the run, kB (on Linux
    only; Wine needs its own), or under AddressSanitizer its largest block,
    biggest MB, when the case needs one; linux: a case of Linux files (/dev,
    bash, address limits) not run under Wine; windows: what Windows gives
    instead, where it differs by design (status, err, out, maps); its maps
    are then not compared with Linux's."""
    return dict(name=name, files=list(files), args=args, status=status, err=list(err),
                out=list(out), maps=maps or {}, stdin=stdin, shell=shell, vlimit=vlimit,
                biggest=biggest, linux=linux or shell, windows=windows)


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


MTLONLY = "these materials are in the .MTL file but not in the .OBJ file: %s"
OBJNOTMTL = "these materials are in the .OBJ file but not in the .MTL file: %s"
CUTSHORT = "uvpaint: %s: this file is damaged: its compressed data ends too soon"
CORRUPT = "uvpaint: %s: this file is damaged: its compressed data is corrupt"


def libcolored(obj, mtl, *more):
    return ["--obj", obj, "--mtl", mtl, "--out", "map.bmp", "--size", "64"] + list(more)


def ownlib(obj, kind="colored", *more):
    """Neither --cr2 nor --mtl: the libraries the mesh names."""
    return ["--obj", obj, "--kind", kind, "--out", "map.bmp", "--size", "64"] + list(more)


def transparent(*more):
    """The map of the clean figure's transparencies."""
    return {"map.bmp": same(*colored("clean.obj", "clean.cr2", "ref.bmp", "--kind", "transparency", *more))}


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
    case("cr2_directory", ["clean.obj", "dir.cr2"], colored("clean.obj", "dir.cr2"), 2,
         [CANTOPEN % ("dir.cr2", FOLDER)]),
    case("cr2_missing", ["clean.obj"], colored("clean.obj", "missing.cr2"), 2,
         [CANTOPEN % ("missing.cr2", NOFILE)]),
    # Poser's other files hold the same material blocks
    case("cr2_pose_file", ["clean.obj", "clean.pz2", "clean.cr2"], colored("clean.obj", "clean.pz2"), 0,
         [CREATED], maps=CLEANMAP),
    # -- material libraries ------------------------------------------------
    case("mtl_named", ["clean.obj", "clean.mtl", "clean.cr2"], libcolored("clean.obj", "clean.mtl"), 0,
         [CREATED], maps=CLEANMAP),
    case("mtl_named_transparency", ["clean.obj", "clean.mtl", "clean.cr2"],
         libcolored("clean.obj", "clean.mtl", "--kind", "transparency"), 0, [CREATED], maps=transparent()),
    case("mtl_named_black_transparent", ["clean.obj", "clean.mtl", "clean.cr2"],
         libcolored("clean.obj", "clean.mtl", "--kind", "transparency", "--black-transparent"), 0, [CREATED],
         maps=transparent("--black-transparent")),
    # --mtl says it is a library, whatever its name
    case("mtl_named_without_mtl_ending", ["clean.obj", "clean.txt", "clean.cr2"],
         libcolored("clean.obj", "clean.txt"), 0, [CREATED], maps=CLEANMAP),
    case("mtl_from_the_mesh", ["cleanlib.obj", "clean.mtl", "clean.obj", "clean.cr2"], ownlib("cleanlib.obj"), 0,
         [CREATED], maps=CLEANMAP),
    case("mtl_from_the_mesh_transparency", ["cleanlib.obj", "clean.mtl", "clean.obj", "clean.cr2"],
         ownlib("cleanlib.obj", "transparency"), 0, [CREATED], maps=transparent()),
    case("mtl_several_libraries", ["twolibs.obj", "lips.mtl", "lib/skin.mtl", "clean.obj", "clean.cr2"],
         ownlib("twolibs.obj"), 0, [CREATED], maps=CLEANMAP),
    case("mtl_missing", ["missinglib.obj", "clean.mtl"], ownlib("missinglib.obj"), 2,
         [CANTOPEN % ("missing.mtl", NOFILE)]),
    case("mtl_directory", ["dirlib.obj", "dir.mtl"], ownlib("dirlib.obj"), 2, [CANTOPEN % ("dir.mtl", FOLDER)]),
    case("mtl_none_named_by_the_mesh", ["clean.obj"], ownlib("clean.obj"), 2,
         ["clean.obj: this mesh names no material library (no mtllib line)"]),
    case("mtl_empty", ["clean.obj", "empty.mtl"], ["--obj", "clean.obj", "--mtl", "empty.mtl"], 1,
         out=[OBJNOTMTL % "skin, lips"]),
    case("mtl_binary", ["clean.obj", "binary.mtl"], ["--obj", "clean.obj", "--mtl", "binary.mtl"], 1,
         out=[OBJNOTMTL % "skin, lips"]),
    case("mtl_crlf_without_last_break", ["clean.obj", "crlf.mtl", "clean.cr2"], libcolored("clean.obj", "crlf.mtl"),
         0, [CREATED], maps=CLEANMAP),
    case("mtl_bad_kd", ["clean.obj", "badkd.mtl"], libcolored("clean.obj", "badkd.mtl"), 2,
         ["badkd.mtl: line 16 is bad"]),
    case("mtl_10m_character_lines_and_a_10000_character_name", ["clean.obj", "longlines.mtl", "clean.cr2"],
         libcolored("clean.obj", "longlines.mtl"), 0, [MTLONLY % NAME10K, CREATED], maps=CLEANMAP),
    case("mtl_10000_materials", ["clean.obj", "materials10000.mtl", "clean.cr2"],
         libcolored("clean.obj", "materials10000.mtl"), 0,
         [MTLONLY % ", ".join("m%d" % i for i in range(1, 10001)), CREATED], maps=CLEANMAP),
    # -- compressed files, read as they are --------------------------------
    case("gz_named_obj", ["gzip.obj", "clean.obj", "clean.cr2"], colored("gzip.obj"), 0, [CREATED],
         maps=CLEANMAP),
    case("gz_obz", ["clean.obz", "clean.obj", "clean.cr2"], colored("clean.obz"), 0, [CREATED], maps=CLEANMAP),
    case("gz_members_and_zero_padding", ["members.obz", "clean.obj", "clean.cr2"], colored("members.obz"), 0,
         [CREATED], maps=CLEANMAP),
    case("gz_crz", ["clean.obj", "clean.crz", "clean.cr2"], colored("clean.obj", "clean.crz"), 0, [CREATED],
         maps=CLEANMAP),
    case("gz_named_cr2", ["clean.obj", "gzip.cr2", "clean.cr2"], colored("clean.obj", "gzip.cr2"), 0, [CREATED],
         maps=CLEANMAP),
    case("gz_material_collection", ["clean.obj", "clean.mcz", "clean.cr2"], colored("clean.obj", "clean.mcz"), 0,
         [CREATED], maps=CLEANMAP),
    case("gz_mtl", ["clean.obj", "clean.mtl.gz", "clean.cr2"], libcolored("clean.obj", "clean.mtl.gz"), 0,
         [CREATED], maps=CLEANMAP),
    case("gz_mesh_and_its_library", ["cleanlib.obz", "clean.mtl.gz", "clean.obj", "clean.cr2"],
         ownlib("cleanlib.obz"), 0, [CREATED], maps=CLEANMAP),
    case("gz_mesh_cut_short", ["cut.obz", "clean.cr2"], colored("cut.obz"), 2, [CUTSHORT % "cut.obz"]),
    case("gz_mesh_corrupt", ["corrupt.obz", "clean.cr2"], colored("corrupt.obz"), 2, [CORRUPT % "corrupt.obz"]),
    case("gz_mesh_trailing_garbage", ["garbage.obz", "clean.cr2"], colored("garbage.obz"), 2,
         [CORRUPT % "garbage.obz"]),
    case("gz_figure_cut_short", ["clean.obj", "cut.crz"], colored("clean.obj", "cut.crz"), 2,
         [CUTSHORT % "cut.crz"]),
    case("gz_library_cut_short", ["clean.obj", "cut.mtl.gz"], libcolored("clean.obj", "cut.mtl.gz"), 2,
         [CUTSHORT % "cut.mtl.gz"]),
    # 10 MB that inflate to 10 GiB, in bounded memory: a line of spaces is
    # refused at 1 GiB; empty lines are passed over
    case("gz_bomb_of_spaces", ["bombspaces.obz", "clean.cr2"], colored("bombspaces.obz"), 2,
         ["bombspaces.obz: line 11 is longer than 1 GiB", BAD % "bombspaces.obz"], vlimit=150000),
    case("gz_bomb_of_empty_lines", ["bomblines.obz", "clean.obj", "clean.cr2"], colored("bomblines.obz"), 0,
         [CREATED], maps=CLEANMAP, vlimit=150000),
    # -- meshes that are no plain files ------------------------------------
    case("pipe_dash", ["clean.obj", "clean.cr2"], ["-", "--cr2", "clean.cr2", "--out", "map.bmp", "--size", "64"],
         0, [CREATED], maps=CLEANMAP, stdin="clean.obj"),
    case("pipe_dash_compressed", ["clean.obz", "clean.obj", "clean.cr2"], colored("-"), 0, [CREATED],
         maps=CLEANMAP, stdin="clean.obz"),
    case("pipe_dev_stdin", ["clean.obj", "clean.cr2"], colored("/dev/stdin"), 0, [CREATED], maps=CLEANMAP,
         stdin="clean.obj", linux=True),
    case("pipe_process_substitution", ["clean.obj", "clean.cr2"],
         'exec "$UVPAINT" --obj <(cat clean.obj) --cr2 clean.cr2 --out map.bmp --size 64', 0, [CREATED],
         maps=CLEANMAP, shell=True),
    case("pipe_dev_zero", ["clean.cr2"], colored("/dev/zero"), 2,
         ["/dev/zero: line 1 is longer than 1 GiB", BAD % "/dev/zero"], vlimit=150000, linux=True),
    # -- memory ------------------------------------------------------------
    # a good mesh of a million triangles, with too little memory for it
    case("obj_1m_triangles_out_of_memory", ["sphere1m.obj", "clean.cr2"], colored("sphere1m.obj"), 2,
         ["out of memory"], vlimit=60000, biggest=16, linux=True),
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
WINE = [c for c in CASES if not c["linux"]]
