// Encode and decode speed against libjpeg-turbo on a synthetic A4 300 dpi colour
// page at quality 75; prints the ratios (ours / peer), best of several runs, the
// runs of both codecs interleaved so that machine load affects both alike.
#include "jpegcodec.h"
#include "testpage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void PeerEncode(const std::vector<uint8_t>& page, int w, int h, std::vector<uint8_t>& out) {
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 75, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(&page[static_cast<size_t>(c.next_scanline) * w * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    out.assign(mem, mem + size);
    free(mem);
}

void PeerDecode(const std::vector<uint8_t>& s, std::vector<uint8_t>& buf) {
    jpeg_decompress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, s.data(), s.size());
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&c);
    const size_t stride = static_cast<size_t>(c.output_width) * 3;
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = &buf[c.output_scanline * stride];
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
}

} // namespace

int main() {
    const int w = 2480, h = 3508, runs = 7;
    const auto page = vlmtest::MakePage(w, h, 24, 300, 1);
    vlm::jpeg::EncodeParams p;
    p.width = w;
    p.height = h;
    p.components = 3;
    p.rows = page.data();
    p.stride = static_cast<size_t>(w) * 3;
    p.quality = 75;
    p.dpi = 300;

    std::vector<uint8_t> ours, peer, buf(static_cast<size_t>(w) * h * 3);
    double encOurs = 1e9, encPeer = 1e9, decOurs = 1e9, decPeer = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto t = Clock::now();
        vlm::jpeg::Encode(p, ours);
        encOurs = std::min(encOurs, Seconds(t));
        t = Clock::now();
        PeerEncode(page, w, h, peer);
        encPeer = std::min(encPeer, Seconds(t));
    }
    int ow = 0, oh = 0, oc = 0;
    for (int i = 0; i < runs; ++i) {
        auto t = Clock::now();
        if (!vlm::jpeg::DecodeInto(ours.data(), ours.size(), buf.data(), static_cast<size_t>(w) * 3,
                                   h, ow, oh, oc))
            std::printf("decode failed\n");
        decOurs = std::min(decOurs, Seconds(t));
        t = Clock::now();
        PeerDecode(ours, buf);
        decPeer = std::min(decPeer, Seconds(t));
    }
    const double encRatio = encOurs / encPeer, decRatio = decOurs / decPeer;
    std::printf("A4 300 dpi colour %dx%d, quality 75, best of %d\n", w, h, runs);
    std::printf("encode: ours %.1f ms (%zu bytes), libjpeg-turbo %.1f ms (%zu bytes), ratio %.2f "
                "(target <= 2.0: %s)\n",
                encOurs * 1e3, ours.size(), encPeer * 1e3, peer.size(), encRatio,
                encRatio <= 2.0 ? "met" : "NOT met");
    std::printf("decode: ours %.1f ms, libjpeg-turbo %.1f ms, ratio %.2f (target <= 2.0: %s)\n",
                decOurs * 1e3, decPeer * 1e3, decRatio, decRatio <= 2.0 ? "met" : "NOT met");
    return 0;
}
