// Bad scene files: each gets one error naming where and what, and nothing
// else happens (no crash, no partial document).
#include <gtest/gtest.h>

#include <string>

#include "module_test.h"
#include "scene_load.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

using namespace kwtest;

const std::string kHead = R"({"format": "kestrelwood-scene/1", )";

std::string withObjects(const std::string& objects) { return kHead + R"("objects": )" + objects + "}"; }

std::string withTag(const std::string& params) {
  return withObjects(R"([{"name": "Flock", "children": [{"name": "A"}]}, {"name": "T"},
                         {"name": "Holder", "tags": [{"type": "Kestrelwood", "params": )" + params + "}]}]");
}

struct Case {
  const char* label;
  std::string text;
  std::string expected;  // the start of the error
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.label; }

class SceneErrors : public ::testing::TestWithParam<Case> {};

TEST_P(SceneErrors, ReportsWhereAndWhat) {
  ASSERT_NE(sharedModule(), nullptr);
  const Case& c = GetParam();
  const std::string err = loadError(c.text, tempFolder("errors"));
  EXPECT_EQ(err.substr(0, c.expected.size()), c.expected) << "full error: " << err;
}

const Case kCases[] = {
    {"NotJson", "this is not JSON", "line 1, column 2: not valid JSON: syntax error while parsing value - invalid literal"},
    {"Empty", "", "line 1, column 1: not valid JSON"},
    {"Truncated", kHead + R"("objects": [)", "line 1, column 46: not valid JSON: syntax error while parsing value - unexpected end of input"},
    {"TopNotObject", "[1, 2]", "top level: expected an object, got an array"},
    {"NoFormat", "{}", "format: missing"},
    {"WrongFormat", R"({"format": "kestrelwood-scene/2"})", "format: \"kestrelwood-scene/2\" is not a known format"},
    {"UnknownTopKey", kHead + R"("fsp": 30})", "fsp: unknown key \"fsp\" (did you mean \"fps\"?)"},
    {"DuplicateKey", kHead + R"("fps": 30, "fps": 25})", "fps: duplicate key \"fps\""},
    {"NestedDuplicateKey", withObjects(R"([{"name": "A"}, {"name": "B", "name": "C"}])"),
     "objects[1].name: duplicate key"},
    {"NegativeFps", kHead + R"("fps": -1})", "fps: the frame rate must be 1 or more, not -1"},
    {"ZeroFps", kHead + R"("fps": 0})", "fps: the frame rate must be 1 or more"},
    {"FractionalFps", kHead + R"("fps": 29.97})", "fps: expected an integer, got the number 29.97"},
    {"HugeFps", kHead + R"("fps": 3000000000})", "fps: the integer 3000000000 does not fit 32 bits"},
    {"MaxBeforeMin", kHead + R"("minFrame": 10, "maxFrame": 5})", "maxFrame: 5 lies before minFrame 10"},
    {"DefaultMaxBeforeMin", kHead + R"("minFrame": 400})", "maxFrame: missing, and its default 300 lies before minFrame 400"},
    {"ObjectsNotArray", withObjects("{}"), "objects: expected an array, got an object"},
    {"ObjectNotObject", withObjects("[3]"), "objects[0]: expected an object, got the number 3"},
    {"MissingName", withObjects(R"([{"type": "null"}])"), "objects[0]: the object has no \"name\""},
    {"EmptyName", withObjects(R"([{"name": ""}])"), "objects[0].name: an object name must not be empty"},
    {"DuplicateName", withObjects(R"([{"name": "A"}, {"name": "G", "children": [{"name": "A"}]}])"),
     "objects[1].children[0].name: the name \"A\" is used already by objects[0]"},
    {"UnknownObjectKey", withObjects(R"([{"name": "A", "positon": [0, 0, 0]}])"),
     "objects[0].positon: unknown key \"positon\" (did you mean \"position\"?)"},
    {"UnknownType", withObjects(R"([{"name": "A", "type": "sphere"}])"), "objects[0].type: unknown object type \"sphere\""},
    {"PositionNotVector", withObjects(R"([{"name": "A", "position": "here"}])"),
     "objects[0].position: expected [x, y, z], got the string \"here\""},
    {"PositionTwoNumbers", withObjects(R"([{"name": "A", "position": [1, 2]}])"), "objects[0].position: expected [x, y, z]"},
    {"PositionNotNumber", withObjects(R"([{"name": "A", "position": [1, null, 2]}])"),
     "objects[0].position[1]: expected a number, got null"},
    {"DoubleOverflow", withObjects(R"([{"name": "A", "position": [0, 1e999, 0]}])"),
     "line 1, column 77: the number 1e999 is out of range (not a finite number)"},
    {"FloatOverflow", withObjects(R"([{"name": "A", "scale": [1, 1e39, 1]}])"),
     "objects[0].scale[1]: the number 1e+39 is not finite as a 32-bit float"},
    {"RadiusNotNumber", withObjects(R"([{"name": "O", "type": "circle", "radius": "big"}])"),
     "objects[0].radius: expected a number, got the string \"big\""},
    {"NegativeRadius", withObjects(R"([{"name": "O", "type": "circle", "radius": -5}])"),
     "objects[0].radius: a circle's radius must not be negative"},
    {"RadiusOnNull", withObjects(R"([{"name": "A", "children": [{"name": "B", "radius": 5}]}])"),
     "objects[0].children[0].radius: \"radius\" belongs to \"circle\" objects only"},
    {"MeshOnNull", withObjects(R"([{"name": "A", "mesh": {"points": [], "polygons": []}}])"),
     "objects[0].mesh: geometry belongs to \"polygon\" objects only"},
    {"MeshAndObj", withObjects(R"([{"name": "P", "type": "polygon", "mesh": {"points": [], "polygons": []}, "obj": "x.obj"}])"),
     "objects[0].obj: give either \"mesh\" or \"obj\", not both"},
    {"MeshIndexOutOfRange",
     withObjects(R"([{"name": "P", "type": "polygon", "mesh": {"points": [[0,0,0],[1,0,0],[0,0,1]], "polygons": [[0, 1, 3]]}}])"),
     "objects[0].mesh.polygons[0][2]: point index 3 out of range (the mesh has 3 points)"},
    {"MeshNegativeIndex",
     withObjects(R"([{"name": "P", "type": "polygon", "mesh": {"points": [[0,0,0],[1,0,0],[0,0,1]], "polygons": [[0, -1, 2]]}}])"),
     "objects[0].mesh.polygons[0][1]: point index -1 out of range"},
    {"MeshTwoPointPolygon",
     withObjects(R"([{"name": "P", "type": "polygon", "mesh": {"points": [[0,0,0],[1,0,0]], "polygons": [[0, 1]]}}])"),
     "objects[0].mesh.polygons[0]: expected a polygon [a, b, c] or [a, b, c, d], got an array of 2 indices"},
    {"MeshWithoutPolygons", withObjects(R"([{"name": "P", "type": "polygon", "mesh": {"points": []}}])"),
     "objects[0].mesh: the mesh has no \"polygons\""},
    {"MissingObj", withObjects(R"([{"name": "P", "type": "polygon", "obj": "nowhere.obj"}])"), "objects[0].obj: cannot open "},
    {"ChildrenNotArray", withObjects(R"([{"name": "A", "children": {"name": "B"}}])"),
     "objects[0].children: expected an array, got an object"},
    {"TagNotObject", withObjects(R"([{"name": "A", "tags": ["Kestrelwood"]}])"),
     "objects[0].tags[0]: expected an object, got the string \"Kestrelwood\""},
    {"TagWithoutType", withObjects(R"([{"name": "A", "tags": [{}]}])"), "objects[0].tags[0]: the tag has no \"type\""},
    {"UnknownTagType", withObjects(R"([{"name": "A", "tags": [{"type": "Kestrelwod"}]}])"),
     "objects[0].tags[0].type: unknown tag type \"Kestrelwod\" (known: Kestrelwood)"},
    {"UnknownTagKey", withObjects(R"([{"name": "A", "tags": [{"type": "Kestrelwood", "recordstart": true}]}])"),
     "objects[0].tags[0].recordstart: unknown key \"recordstart\" (did you mean \"recordStart\"?)"},
    {"RecordStartNotBool", withObjects(R"([{"name": "A", "tags": [{"type": "Kestrelwood", "recordStart": 1}]}])"),
     "objects[0].tags[0].recordStart: expected true or false, got the number 1"},
    {"LinkToNoObject", withTag(R"({"AGENTS_GROUP": "Flock", "TARGET": "Nope"})"),
     "objects[2].tags[0].params.TARGET: no object is named \"Nope\""},
    {"TypedLinkToNoObject", withTag(R"({"1001": {"link": "Nope"}})"),
     "objects[2].tags[0].params.1001.link: no object is named \"Nope\""},
    {"LinkNotName", withTag(R"({"TARGET": 5})"), "objects[2].tags[0].params.TARGET: expected an object name or null, got the number 5"},
    {"UnknownParam", withTag(R"({"VISON_LENGTH": 5})"),
     "objects[2].tags[0].params.VISON_LENGTH: unknown parameter \"VISON_LENGTH\" (did you mean \"VISION_LENGTH\"?)"},
    {"RealGivenBool", withTag(R"({"VISION_LENGTH": true})"), "objects[2].tags[0].params.VISION_LENGTH: expected a number, got true"},
    {"BoolGivenNumber", withTag(R"({"SHOW_VISION": 1})"), "objects[2].tags[0].params.SHOW_VISION: expected true or false"},
    {"RealNotFinite", withTag(R"({"SPEED": 1e300})"), "objects[2].tags[0].params.SPEED: the number 1e+300 is not finite as a 32-bit float"},
    {"ButtonGivenValue", withTag(R"({"RECORD_START": true})"),
     "objects[2].tags[0].params.RECORD_START: RECORD_START is a button, not a value; press it with \"recordStart\": true"},
    {"UndescribedIdShort", withTag(R"({"5000": 1.5})"),
     "objects[2].tags[0].params.5000: parameter 5000 is not in the tag's description"},
    {"TypedTwoKinds", withTag(R"({"5000": {"real": 1, "long": 2}})"), "objects[2].tags[0].params.5000: a typed value holds exactly one"},
    {"TypedUnknownKind", withTag(R"({"5000": {"string": "x"}})"),
     "objects[2].tags[0].params.5000.string: unknown value type \"string\""},
    {"TypedLongFraction", withTag(R"({"5000": {"long": 1.5}})"), "objects[2].tags[0].params.5000.long: expected an integer"},
    {"TypedLongOverflow", withTag(R"({"5000": {"long": 3000000000}})"),
     "objects[2].tags[0].params.5000.long: the integer 3000000000 does not fit 32 bits"},
    {"TypedMatrixShort", withTag(R"({"1025": {"matrix": [0, 0, 0, 1, 0, 0, 0, 1, 0]}})"),
     "objects[2].tags[0].params.1025.matrix: expected 12 numbers"},
    {"TypedMatrixNotNumber", withTag(R"({"1025": {"matrix": [0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, "1"]}})"),
     "objects[2].tags[0].params.1025.matrix[11]: expected a number"},
    {"ParamsNotObject", withObjects(R"([{"name": "A", "tags": [{"type": "Kestrelwood", "params": []}]}])"),
     "objects[0].tags[0].params: expected an object, got an array"},
};

INSTANTIATE_TEST_SUITE_P(Scene, SceneErrors, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.label); });

TEST(SceneFileErrors, UnreadableFilesAreFileErrors) {
  ASSERT_NE(sharedModule(), nullptr);
  const std::string dir = tempFolder("unreadable");
  auto missing = kwhost::scene::readSceneFile(dir + "/missing.kwscene.json");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "file: cannot open: No such file or directory");
  auto folder = kwhost::scene::readSceneFile(dir);
  ASSERT_FALSE(folder);
  EXPECT_EQ(folder.error(), "file: is a folder, not a scene file");
}

TEST(SceneFileErrors, BadObjFilesNameTheFault) {
  ASSERT_NE(sharedModule(), nullptr);
  const std::string dir = tempFolder("badobj");
  writeText(dir + "/far.obj", "v 0 0 0\nv 1 0 0\nv 0 0 1\nf 1 2 9\n");
  writeText(dir + "/inf.obj", "v 0 0 0\nv 1 1e39 0\nv 0 0 1\nf 1 2 3\n");
  writeText(dir + "/line.obj", "v 0 0 0\nv 1 0 0\nf 1 2\n");
  auto scene = [](const char* file) {
    return withObjects(std::string(R"([{"name": "P", "type": "polygon", "obj": ")") + file + "\"}]");
  };
  EXPECT_NE(loadError(scene("far.obj"), dir).find("objects[0].obj: " + dir + "/far.obj: face 1 refers to vertex 9, but the file has 3 vertices"),
            std::string::npos)
      << loadError(scene("far.obj"), dir);
  EXPECT_NE(loadError(scene("inf.obj"), dir).find("vertex 2 is not a finite 32-bit float"), std::string::npos)
      << loadError(scene("inf.obj"), dir);
  // The loader drops a face of two points; the user hears of it.
  kwhost::scene::LoadedScene lines = loadOk(scene("line.obj"), dir);
  ASSERT_EQ(lines.warnings.size(), 1u);
  EXPECT_EQ(lines.warnings[0].text, "objects[0].obj: " + dir + "/line.obj: Degenerated face found. (passed over)");
  EXPECT_EQ(lines.warnings[0].key, kwhost::WarningKey::SkippedObjData);
  // Vertex weights are no part of a ground: passed over, even with a joint
  // number no int holds, on a line the loader starts after a carriage return.
  writeText(dir + "/weights.obj", "v 0 0 0\nv 1 0 0\rvw 1e40 1\nv 0 0 1\nvw\t0 0.5\nf 1 2 3\n");
  EXPECT_TRUE(loadOk(scene("weights.obj"), dir).warnings.empty());
}

}  // namespace
