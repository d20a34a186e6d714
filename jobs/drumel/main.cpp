// drumel: the send-history job program. Started with the fax number, a
// comma and the month ("YYYYMM").
#include "jobs/drumel/make_career_send_ctl.h"

int main(int argc, char** argv) {
    using namespace fg::jobs;
    return runFaxJob(MakeCareerSendCtl::kProgram, true, argc, argv,
                     [](fg::EventPump& pump, const JobCommandLine& line) {
                         auto job = std::make_unique<MakeCareerSendCtl>(pump);
                         job->setStrFaxNo(line.faxNo);
                         job->setStrSelectData(line.argument);
                         return job;
                     });
}
