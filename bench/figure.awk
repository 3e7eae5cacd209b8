# A Poser figure naming the materials of a .mtl library, each with the Kd
# colour the library gives it:  awk -f bench/figure.awk MESH.mtl > MESH.cr2
BEGIN { print "{\nversion\n\t{\n\tnumber 4.01\n\t}\nfigure\n\t{" }
$1 == "newmtl" { name = $2 }
$1 == "Kd" { printf "\tmaterial %s\n\t\t{\n\t\tKdColor %s %s %s 1\n\t\ttMax 0\n\t\t}\n", name, $2, $3, $4 }
END { print "\t}\n}" }
