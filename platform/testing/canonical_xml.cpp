#include "platform/testing/canonical_xml.h"

#include "platform/files.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"
#include "platform/xml.h"

namespace fg::testing {

std::string canonicalXml(const std::string& bytes) {
    TempDir dir;
    fs::writeFileAtomic(dir / "given.xml", bytes);
    xml::Document doc;
    if (!doc.load(dir / "given.xml")) return "<not XML: " + doc.parseError().reason + ">";
    doc.save(dir / "compact.xml");
    ProgramRun run = runProgram({"xmllint", "--c14n", dir / "compact.xml"});
    if (run.exitCode != 0) return "<not XML: xmllint: " + run.errors + ">";
    return run.output;
}

}  // namespace fg::testing
