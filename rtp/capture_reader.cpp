#include "capture_reader.h"

#include <pcap/pcap.h>

namespace rtp {

namespace {

// libpcap gives the host's link-type numbers, which differ from the file's for raw IP.
int LinkType(int dlt) {
    switch (dlt) {
        case DLT_NULL:
        case DLT_LOOP: return kLinkNull;  // the family is read in either byte order
        case DLT_EN10MB: return kLinkEthernet;
        case DLT_RAW: return kLinkRaw;
        case DLT_LINUX_SLL: return kLinkLinuxCooked;
        case DLT_IPV4: return kLinkIpv4;
        case DLT_IPV6: return kLinkIpv6;
        case DLT_LINUX_SLL2: return kLinkLinuxCooked2;
    }
    return -1;
}

}  // namespace

bool ReadCapture(FILE* file, Capture* capture, std::string* error) {
    *capture = Capture{};
    char message[PCAP_ERRBUF_SIZE] = "";
    pcap_t* pcap = pcap_fopen_offline(file, message);
    if (!pcap) {
        std::fclose(file);
        *error = std::string("not a capture libpcap reads: ") + message;
        return false;
    }
    const int link_type = LinkType(pcap_datalink(pcap));
    if (link_type < 0) {
        // libpcap has no name for some link types.
        const char* name = pcap_datalink_val_to_name(pcap_datalink(pcap));
        *error = "link type " + (name ? std::string(name) : std::to_string(pcap_datalink(pcap))) + " is not read";
        pcap_close(pcap);
        return false;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* bytes = nullptr;
    int status = 0;
    while ((status = pcap_next_ex(pcap, &header, &bytes)) == 1) {
        ++capture->records;
        Datagram d;
        switch (ParseFrame(link_type, bytes, header->caplen, &d)) {
            case FrameResult::kUdp: {
                // The datagram points into the frame, which the next read overwrites.
                capture->frames.emplace_back(bytes, bytes + header->caplen);
                d.payload = capture->frames.back().data() + (d.payload - bytes);
                capture->datagrams.push_back(d);
                break;
            }
            case FrameResult::kFragment: ++capture->fragments; break;
            case FrameResult::kDamaged: ++capture->damaged; break;
            case FrameResult::kNotUdp: break;
        }
    }
    if (status == PCAP_ERROR) capture->cut_short = pcap_geterr(pcap);
    pcap_close(pcap);
    return true;
}

}  // namespace rtp
