#include "pdfa.h"
#include "pdfwriter.h"

namespace vlm::pdf {

DocumentDate DateOf(time_t when) {
    struct tm local = {}, utc = {};
#ifdef _WIN32
    localtime_s(&local, &when);
    gmtime_s(&utc, &when);
#else
    localtime_r(&when, &local);
    gmtime_r(&when, &utc);
#endif
    // The offset from the two broken-down times: they differ by at most one day.
    long offset = (local.tm_hour - utc.tm_hour) * 3600L + (local.tm_min - utc.tm_min) * 60L;
    if (local.tm_year != utc.tm_year || local.tm_yday != utc.tm_yday)
        offset += (local.tm_year > utc.tm_year ||
                   (local.tm_year == utc.tm_year && local.tm_yday > utc.tm_yday))
                      ? 86400L
                      : -86400L;
    const char sign = offset < 0 ? '-' : '+';
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char stamp[32], pdf[96], xmp[96];
    strftime(stamp, sizeof(stamp), "%Y%m%d%H%M%S", &local);
    snprintf(pdf, sizeof(pdf), "D:%s%c%02ld'%02ld'", stamp, sign, minutes / 60, minutes % 60);
    strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H:%M:%S", &local);
    snprintf(xmp, sizeof(xmp), "%s%c%02ld:%02ld", stamp, sign, minutes / 60, minutes % 60);
    return {pdf, xmp};
}

std::string ArchiveMetadata(const DocumentDate& date) {
    // The producer and creator are fixed texts without XML special characters.
    return std::string("<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                       "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                       " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                       "  <rdf:Description rdf:about=\"\"\n"
                       "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
                       "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
                       "    xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\"\n"
                       "    xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n"
                       "   <dc:format>application/pdf</dc:format>\n"
                       "   <xmp:CreatorTool>") +
           kCreator + "</xmp:CreatorTool>\n   <xmp:CreateDate>" + date.xmp +
           "</xmp:CreateDate>\n   <xmp:ModifyDate>" + date.xmp +
           "</xmp:ModifyDate>\n   <xmp:MetadataDate>" + date.xmp +
           "</xmp:MetadataDate>\n   <pdf:Producer>" + kProducer +
           "</pdf:Producer>\n"
           "   <pdfaid:part>2</pdfaid:part>\n"
           "   <pdfaid:conformance>B</pdfaid:conformance>\n"
           "  </rdf:Description>\n"
           " </rdf:RDF>\n"
           "</x:xmpmeta>\n"
           "<?xpacket end=\"w\"?>";
}

std::string CPdfWriter::WriteArchiveObjects(time_t created) {
    const std::string xmp = ArchiveMetadata(DateOf(created));
    const int metadataObj = NewObject();
    WriteStreamObject(metadataObj, "/Type /Metadata /Subtype /XML ", xmp.data(), xmp.size());
    const int profileObj = NewObject();
    WriteStreamObject(profileObj, "/N 3 /Alternate /DeviceRGB ", g_srgbProfile, g_srgbProfileSize);
    const std::string condition = TextString(kSrgbCondition);
    return " /Metadata " + std::to_string(metadataObj) +
           " 0 R /OutputIntents [<< /Type /OutputIntent /S /GTS_PDFA1 "
           "/OutputConditionIdentifier " +
           condition + " /Info " + condition + " /DestOutputProfile " + std::to_string(profileObj) +
           " 0 R >>]";
}

} // namespace vlm::pdf
