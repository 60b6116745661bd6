// Command-line access to the simulated machine for scripts:
//   simtool image <file.bin> [--model M] [--revision R] [--code C] [--chunk-kib N]
//                 [--chunks N] [--last-kib N] [--fc XX YY] [--boot]
//       writes a firmware image for a simulated drive;
//   simtool drives <machine file>
//       lists the machine's drives as they answer INQUIRY (firmware included).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "simdrive/FirmwareImage.h"
#include "simdrive/SimMachineFile.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: simtool image <file.bin> [--model M] [--revision R] [--code C]\n"
                 "                     [--chunk-kib N] [--chunks N] [--last-kib N] [--fc XX YY] [--boot]\n"
                 "       simtool drives <machine file>\n");
    return 2;
}

bool ParseByte(const char* text, uint8_t& value) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 0);
    if (end == text || *end != '\0' || v > 255) return false;
    value = static_cast<uint8_t>(v);
    return true;
}

int Image(int argc, char** argv) {
    if (argc < 3) return Usage();
    sim::FirmwareImageLayout layout;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--boot") {
            layout.BootImage = true;
        } else if (option == "--model" && hasValue) {
            layout.Model = argv[++i];
        } else if (option == "--revision" && hasValue) {
            layout.Revision = argv[++i];
        } else if (option == "--code" && hasValue) {
            layout.Code = argv[++i];
        } else if (option == "--chunk-kib" && hasValue) {
            if (!ParseByte(argv[++i], layout.ChunkKiB)) return Usage();
        } else if (option == "--chunks" && hasValue) {
            if (!ParseByte(argv[++i], layout.ChunkCount)) return Usage();
        } else if (option == "--last-kib" && hasValue) {
            if (!ParseByte(argv[++i], layout.LastChunkKiB)) return Usage();
        } else if (option == "--fc" && i + 2 < argc) {
            layout.FcMarker = true;
            if (!ParseByte(argv[++i], layout.FcCode[0]) || !ParseByte(argv[++i], layout.FcCode[1]))
                return Usage();
        } else {
            return Usage();
        }
    }
    std::string error;
    if (!sim::WriteFirmwareImage(argv[2], layout, error)) {
        std::fprintf(stderr, "simtool: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

void PrintDrive(const char* place, sim::SimDrive& drive) {
    const uint8_t cdb[6] = {0x12, 0, 0, 0, 96, 0};
    uint8_t reply[96] = {};
    sim::ScsiRequest request;
    request.Cdb = cdb;
    request.CdbLength = 6;
    request.Direction = sim::DataDirection::In;
    request.Data = reply;
    request.DataLength = sizeof reply;
    const sim::ScsiResult result = drive.Execute(request);
    if (result.TransportFailed || result.Status != sim::kStatusGood) {
        std::printf("%s (no answer to INQUIRY)\n", place);
        return;
    }
    std::printf("%s vendor \"%.8s\" product \"%.16s\" revision \"%.4s\" code \"%.3s\"\n", place,
                reinterpret_cast<char*>(reply + 8), reinterpret_cast<char*>(reply + 16),
                reinterpret_cast<char*>(reply + 32), reinterpret_cast<char*>(reply + 36));
}

int Drives(int argc, char** argv) {
    if (argc != 3) return Usage();
    std::string error;
    std::unique_ptr<sim::SimMachine> machine = sim::LoadSimMachine(argv[2], error);
    if (!machine) {
        std::fprintf(stderr, "simtool: %s\n", error.c_str());
        return 1;
    }
    for (const sim::SimMachine::AttachedDrive& drive : machine->Drives()) {
        const std::string place = drive.Letter ? std::string(1, *drive.Letter) + ":"
                                               : "aspi " + std::to_string(drive.Adapter) + " " +
                                                     std::to_string(drive.Target);
        PrintDrive(place.c_str(), *drive.Drive);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "image") == 0) return Image(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "drives") == 0) return Drives(argc, argv);
    return Usage();
}
