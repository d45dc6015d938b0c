// MIME coders: turn subject, body, file names and addresses written in the
// system's ANSI code page into what goes on the wire (RFC 2045/2047). One
// coder per message, chosen by the user interface language.
#pragma once
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace vlm::mail {

// Describes one kind of message part.
class CMimeInfo {
public:
    CMimeInfo() = default;
    CMimeInfo(std::string charset, std::string encoding, std::string contentType,
              std::string fourth, std::string headerLine)
        : m_Charset(std::move(charset)), m_Encoding(std::move(encoding)),
          m_ContentType(std::move(contentType)), m_Fourth(std::move(fourth)),
          m_HeaderLine(std::move(headerLine)) {}
    virtual ~CMimeInfo() = default;
    virtual const std::string& GetCharset() const { return m_Charset; }
    virtual const std::string& GetEncoding() const { return m_Encoding; }
    virtual const std::string& GetContentType() const { return m_ContentType; }
    virtual const std::string& GetFourth() const { return m_Fourth; }
    virtual const std::string& GetHeaderLine() const { return m_HeaderLine; }
    void SetCharset(const std::string& charset) { m_Charset = charset; }
    void SetHeaderLine(const std::string& line) { m_HeaderLine = line; }

private:
    std::string m_Charset, m_Encoding, m_ContentType, m_Fourth, m_HeaderLine;
};

// EncodeHeader flag: the text is a display name or a comment, where an
// encoded word may hold no specials (RFC 2047 5(2), 5(3)): a Q word then
// encodes every byte but letters, digits and "!*+-/".
constexpr unsigned kPhraseWords = 1;

// Base coder: copies text unchanged. Operations return false when they ran
// out of memory; the result then holds what was produced so far.
class CMimeCoder {
public:
    virtual ~CMimeCoder() = default;
    // offset: length of the header name already on the line ("Subject: " is 9).
    // charset: the charset named in encoded words, empty for the coder's own.
    virtual bool EncodeHeader(const std::string& text, std::string& result,
                              const std::string& charset, int offset, unsigned flags);
    virtual bool EncodeHeader2(const std::string& text, std::string& result,
                               const std::string& charset, int offset, unsigned flags);
    virtual bool EncodeBody(const std::string& text, std::string& result,
                            const std::string& charset, unsigned flags);
    virtual bool EncodeBody2(const std::string& text, std::string& result,
                             const std::string& charset, unsigned flags);

    // Address lists ("," separated; quoted display names, comments in
    // parentheses, addresses in angle brackets): each entry comes back with
    // its display name and comments encoded and its address inside "<" ">".
    bool ParseAddressList(const std::string& text, std::vector<std::string>& entries, int offset);

    // The coder's own charset and body encoding. The header and text info
    // name the charset and encoding of the last body encoded, which can
    // differ from them (see ISO-8859-1, and 7-bit lines too long for SMTP).
    const std::string& GetCharset() const { return m_Charset; }
    const std::string& GetBodyHeaderLine() const { return m_BodyHeaderLine; }
    const CMimeInfo& HeaderInfo() const { return m_HeaderInfo; }
    const CMimeInfo& TextInfo() const { return m_TextInfo; }
    const CMimeInfo& AttachmentInfo() const { return m_AttachmentInfo; }

protected:
    CMimeCoder(std::string charset, std::string bodyHeaderLine, std::string headerEncoding);
    // The charset's preparation before splitting.
    virtual std::string Prepare(const std::string& text) const { return text; }
    // Next piece of at most limit output bytes from text at pos (advanced);
    // stops after CR LF. Converts to the wire form of the charset.
    virtual std::string Split(const std::string& text, size_t& pos, size_t limit) const;
    // The charset that names text on the wire (encoded words, body).
    virtual const std::string& CharsetFor(const std::string& text) const { return m_Charset; }
    // Whether prepared header text needs encoded words.
    virtual bool NeedsEncoding(const std::string& prepared) const { return false; }
    // The quoted-printable body of prepared text, in splitter pieces of 76.
    void EncodeQuotedPrintable(const std::string& prepared, std::string& result) const;
    // Encoded words with B encoding, of splitter pieces.
    bool EncodeWordsB(const std::string& text, std::string& result, const std::string& charset,
                      int offset) const;
    // Plain 8-bit bytes survive only where the charset allows them.
    bool m_bKeep8Bit = false;

    std::string m_Charset;
    std::string m_Second;
    std::string m_BodyHeaderLine;
    CMimeInfo m_HeaderInfo, m_TextInfo, m_AttachmentInfo;
    std::list<std::string> m_Queue1, m_Queue2;
    std::string m_Work;
};

// The double-byte coders: headers as B encoded words of their splitter's pieces.
class CMimeCoderB : public CMimeCoder {
public:
    bool EncodeHeader(const std::string& text, std::string& result, const std::string& charset,
                      int offset, unsigned flags) override {
        return EncodeWordsB(text, result, charset, offset);
    }

protected:
    using CMimeCoder::CMimeCoder;
};

class CMimeCoderISO_2022_JP : public CMimeCoderB {
public:
    CMimeCoderISO_2022_JP();

protected:
    std::string Prepare(const std::string& text) const override;
    std::string Split(const std::string& text, size_t& pos, size_t limit) const override;
    bool NeedsEncoding(const std::string& prepared) const override;
};

class CMimeCoderGB2312 : public CMimeCoderB {
public:
    CMimeCoderGB2312();

protected:
    std::string Prepare(const std::string& text) const override;
    std::string Split(const std::string& text, size_t& pos, size_t limit) const override;
    bool NeedsEncoding(const std::string& prepared) const override;
};

// Text of the Western code page 1252. Its letters above 0x9F are those of
// ISO-8859-1, so "iso-8859-1" names it; text with one of the characters 1252
// puts at 0x80-0x9F (euro sign, typographic quotes, dashes), which are C1
// controls in ISO-8859-1, is named "windows-1252".
class CMimeCoderISO_8859_1 : public CMimeCoder {
public:
    CMimeCoderISO_8859_1();
    bool EncodeHeader(const std::string& text, std::string& result, const std::string& charset,
                      int offset, unsigned flags) override;

protected:
    const std::string& CharsetFor(const std::string& text) const override;
    bool NeedsEncoding(const std::string& prepared) const override;
};

class CMimeCoderUS_ASCII : public CMimeCoder {
public:
    CMimeCoderUS_ASCII();
    bool EncodeHeader(const std::string& text, std::string& result, const std::string& charset,
                      int offset, unsigned flags) override;
};

// "Japanese", "ChineseSimplified", "English", "French", ... from a Windows
// language identifier (the low 16 bits of the thread locale).
std::string LanguageFromLangId(uint16_t langId);
// The coder for a language name.
std::unique_ptr<CMimeCoder> MakeMimeCoder(const std::string& language);

// Shift-JIS half-width katakana (0xA1-0xDF, with a following voiced or
// semi-voiced mark) made full-width; everything else unchanged.
std::string ShiftJisToFullWidth(const std::string& text);

// Folds a header value before white space so that no line passes 76
// characters where white space allows it (RFC 5322); unfolding gives the text
// back unchanged.
std::string FoldHeader(const std::string& text, int offset);

// The address inside "<" ">" of a parsed entry (the whole entry without them).
std::string AddressOf(const std::string& entry);

// Whether text holds a CR or LF, which in an address would end the header
// line or the SMTP command it stands in.
bool HasLineBreak(const std::string& text);

} // namespace vlm::mail
