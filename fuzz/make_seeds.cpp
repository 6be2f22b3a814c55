// Writes the recording seeds of the fuzz corpus with the test writer, each as
// a .cfg/.dat pair and as a combined file, each for Comtrade and for
// ColumnarRecording (the other seeds are hand-made); the writer's target
// starts from the pairs:
//   kivcomtrade_fuzz_seeds <fuzz/corpus folder>

#include "writer/ComtradeWriter.h"

using namespace KivTest;
using namespace KivComtradeLib::Enums;

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    const AnalogLayout ia{"IA", "A", "CT1", "A", 0.01, 0.0, 0.0, -32767, 32767, 1000, 5, 'P'};
    const AnalogLayout ub{"UB", "B", "", "kV", 0.5, 1.0, 12.5, -32767, 32767, 1, 1, 'S'};
    const StatusLayout trip{"TRIP", "", "Q1", 0}, brk{"BRK", "A", "", 1};
    // Names in GBK and in Latin-1 bytes, for the encoding detection.
    const StatusLayout gbk{"\xD7\xDD\xC1\xAA\xB2\xEE\xB6\xAF\xB1\xA3\xBB\xA4", "", "", 0};
    const AnalogLayout latin{"Tens\xE3o M\xE9" "dia", "A", "Prote\xE7\xE3o", "kV", 0.5, 0.0, 0.0, -32767, 32767, 1, 1, 'S'};
    RecordingLayout l[8];
    l[0].analogs = l[1].analogs = l[3].analogs = {ia, ub};
    l[0].statuses = l[1].statuses = {trip, brk};
    l[1].revYear = 1991, l[1].crlf = true, l[1].rates = {{0.0, 5}};
    l[2].type = Binary, l[2].analogs = {ia}, l[2].statuses.assign(17, trip), l[2].rates = {{1000.0, 2}, {500.0, 4}};
    l[3].type = Binary32, l[3].revYear = 2013, l[3].timeMultiplier = 2.0;
    l[4].type = Float32, l[4].analogs = {ub}, l[4].statuses = {brk}, l[4].typeKeyword = "float32";
    l[4].finalLineEnd = l[4].writeTimeMultiplier = false;
    l[5].type = Binary, l[5].statuses = {trip}, l[5].rates = {{0.0, 3}};
    l[6].analogs = {ia}, l[6].statuses = {gbk, gbk};
    l[7].analogs = {latin, latin}, l[7].statuses = {trip};
    const char* names[] = {"ascii_1999", "ascii_1991_crlf_timestamps", "binary_17_status_two_rates",
                           "binary32_2013", "float32_no_timemult", "binary_status_only_timestamps",
                           "ascii_gbk_names", "ascii_latin1_names"};
    const std::size_t records[] = {6, 5, 4, 3, 3, 3, 2, 2};
    bool ok = true;
    for (int i = 0; i < 8; ++i) {
        const Recording rec = makeRecording(l[i], records[i]);
        const std::string file = std::string(argv[1]) + "/fuzz_recording/" + names[i];
        // The first byte picks the load: '0' Comtrade, '1' columnar (pair); '2', '3' the same of a .cff.
        const std::string pair = cfgText(rec.design, rec.samplesCount()) + "@DAT@\n" + datBytes(rec);
        const std::string cff = cffBytes(rec, CffStyle{l[i].crlf, "Fault on line 2", "[Public Record 1]\n"});
        ok &= writeFile(file, "0" + pair) && writeFile(file + "_columnar", "1" + pair);
        ok &= writeFile(file + "_cff", "2" + cff) && writeFile(file + "_cff_columnar", "3" + cff);
        ok &= writeFile(std::string(argv[1]) + "/fuzz_writer/" + names[i], pair);
    }
    return ok ? 0 : 1;
}
