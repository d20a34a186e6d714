// pomrik: the OCR answer-form job program. Started with the fax number, a
// comma and the OCR type ("1", "2" or "3").
#include "jobs/pomrik/make_ocr_data_ctl.h"

int main(int argc, char** argv) {
    using namespace fg::jobs;
    return runFaxJob(MakeOCRDataCtl::kProgram, true, argc, argv, [](fg::EventPump& pump, const JobCommandLine& line) {
        auto job = std::make_unique<MakeOCRDataCtl>(pump);
        job->setStrFaxNo(line.faxNo);
        job->setStrReportType(line.argument);
        return job;
    });
}
