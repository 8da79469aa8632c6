#pragma once
#include <cstddef>

// Every text the library throws, each once, with what it means: the public
// code (the numbers of varnel::ErrorCode less one), whether a repair may read
// past it, and the sentence a person reads. The texts themselves are fixed
// (the COM component hands them to its callers unchanged); nothing but a
// developer's detail field shows them. An entry whose text is empty is thrown
// with the whole text made at run time (an unknown keyword, a filter name).
class ErrorCatalogue {
 public:
  enum class Code {
    kOpenFailed,
    kNotPdf,
    kDamaged,
    kEncrypted,
    kWrongPassword,
    kOwnerPasswordRequired,
    kLimitExceeded,
    kOutputFailed,
    kUsage,
    kSigned,
  };

  struct Entry {
    const char* text;  // the library text (or its fixed start)
    Code code;
    bool repairable;       // a damaged file may be repaired past it
    const char* sentence;  // for a person: "its cross-reference table cannot be read"
  };

  // Every entry, for those that list them (the tests).
  static const Entry* const* begin();
  static const Entry* const* end();
};

// The entries by name: throw _kelvra_runtime_error(errtext::kNoStartxref).
namespace errtext {

// base/: streams
extern const ErrorCatalogue::Entry kOpenFopen;
extern const ErrorCatalogue::Entry kOpenMalloc;
extern const ErrorCatalogue::Entry kOpenSetvbuf;
extern const ErrorCatalogue::Entry kFileRead;
extern const ErrorCatalogue::Entry kFileSeekArgument;
extern const ErrorCatalogue::Entry kFileSeek;
extern const ErrorCatalogue::Entry kFileLength;
extern const ErrorCatalogue::Entry kMemoryRead;
extern const ErrorCatalogue::Entry kMemorySeekArgument;
extern const ErrorCatalogue::Entry kMemorySeek;
// crypt/: ciphers and security handlers
extern const ErrorCatalogue::Entry kAesKeyLength;
extern const ErrorCatalogue::Entry kAesPartialBlock;
extern const ErrorCatalogue::Entry kAesInit;
extern const ErrorCatalogue::Entry kAesUpdate;
extern const ErrorCatalogue::Entry kBadOU;
extern const ErrorCatalogue::Entry kIdentifierLength;
extern const ErrorCatalogue::Entry kHandlerKeyLength;
extern const ErrorCatalogue::Entry kRc4KeyLength;
extern const ErrorCatalogue::Entry kSaslPrepProfile;
// crypt/: certificate encryption
extern const ErrorCatalogue::Entry kCertificateUnreadable;
extern const ErrorCatalogue::Entry kCertificateUnusable;
extern const ErrorCatalogue::Entry kIdentityUnreadable;
extern const ErrorCatalogue::Entry kEnvelopeMalformed;
extern const ErrorCatalogue::Entry kEnvelopeSeal;
extern const ErrorCatalogue::Entry kPublicKeyNoPasswords;
extern const ErrorCatalogue::Entry kPublicKeyUnavailable;
extern const ErrorCatalogue::Entry kRandom;
extern const ErrorCatalogue::Entry kRandomString;
extern const ErrorCatalogue::Entry kSha2Size;
extern const ErrorCatalogue::Entry kSha2Failed;
// pdf/: values
extern const ErrorCatalogue::Entry kArrayIndex;
extern const ErrorCatalogue::Entry kDictionaryPair;
extern const ErrorCatalogue::Entry kDictionaryIndex;
// pdf/: filters
extern const ErrorCatalogue::Entry kAscii85Limit;
extern const ErrorCatalogue::Entry kAscii85Z;
extern const ErrorCatalogue::Entry kAscii85End;
extern const ErrorCatalogue::Entry kAscii85Character;
extern const ErrorCatalogue::Entry kDeflate;
extern const ErrorCatalogue::Entry kDeflateLimit;
extern const ErrorCatalogue::Entry kLzwLimit;
extern const ErrorCatalogue::Entry kLzwCode;
extern const ErrorCatalogue::Entry kPredictorUnknown;
extern const ErrorCatalogue::Entry kPredictorParameters;
extern const ErrorCatalogue::Entry kPredictorLimit;
extern const ErrorCatalogue::Entry kPredictorParms;
extern const ErrorCatalogue::Entry kUnknownFilter;
extern const ErrorCatalogue::Entry kDecompressNoContent;
extern const ErrorCatalogue::Entry kDecompressLimit;
extern const ErrorCatalogue::Entry kDecompressNoOffset;
extern const ErrorCatalogue::Entry kDecompressNoLength;
extern const ErrorCatalogue::Entry kDecompressZeroLength;
extern const ErrorCatalogue::Entry kStreamNoLength;
// pdf/: decryption
extern const ErrorCatalogue::Entry kWrongPassword;
extern const ErrorCatalogue::Entry kOwnerPasswordNeeded;
extern const ErrorCatalogue::Entry kEncryptUnsupported;
extern const ErrorCatalogue::Entry kIdentityNeeded;
extern const ErrorCatalogue::Entry kNotARecipient;
extern const ErrorCatalogue::Entry kRecipientMayNotChange;
extern const ErrorCatalogue::Entry kSeedLength;
extern const ErrorCatalogue::Entry kRecipientsLimit;
extern const ErrorCatalogue::Entry kDecryptionKeyLength;
extern const ErrorCatalogue::Entry kAesDataLength;
extern const ErrorCatalogue::Entry kAesPadding;
// pdf/: the reader
extern const ErrorCatalogue::Entry kNotPdf;
extern const ErrorCatalogue::Entry kEncrypted;
extern const ErrorCatalogue::Entry kEncryptedForRecipients;
extern const ErrorCatalogue::Entry kTokenLimit;
extern const ErrorCatalogue::Entry kStringEof;
extern const ErrorCatalogue::Entry kStringLimit;
extern const ErrorCatalogue::Entry kHexStringLimit;
extern const ErrorCatalogue::Entry kHexStringEof;
extern const ErrorCatalogue::Entry kScanLimit;
extern const ErrorCatalogue::Entry kXRefEntry;
extern const ErrorCatalogue::Entry kCacheInsert;
extern const ErrorCatalogue::Entry kValueNew;
extern const ErrorCatalogue::Entry kValueLimit;
extern const ErrorCatalogue::Entry kOffsetReference;
extern const ErrorCatalogue::Entry kNoOffset;
extern const ErrorCatalogue::Entry kFetchRecursion;
extern const ErrorCatalogue::Entry kObjectTextLimit;
extern const ErrorCatalogue::Entry kWrongObject;
extern const ErrorCatalogue::Entry kObjStmSelfReference;
extern const ErrorCatalogue::Entry kObjStmType;
extern const ErrorCatalogue::Entry kObjStmHeader;
extern const ErrorCatalogue::Entry kObjStmMember;
extern const ErrorCatalogue::Entry kDictionaryToken;
extern const ErrorCatalogue::Entry kDictionaryKey;
extern const ErrorCatalogue::Entry kNestingLimit;
extern const ErrorCatalogue::Entry kBadCharSequence;
extern const ErrorCatalogue::Entry kKeyValuePair;
extern const ErrorCatalogue::Entry kNotNumeral;
extern const ErrorCatalogue::Entry kEndOfData;
extern const ErrorCatalogue::Entry kUnexpectedToken;
extern const ErrorCatalogue::Entry kNoEndstream;
extern const ErrorCatalogue::Entry kTrailerToken;
extern const ErrorCatalogue::Entry kRecoverNoCatalog;
extern const ErrorCatalogue::Entry kParseNoCatalog;
extern const ErrorCatalogue::Entry kStartAddress;
extern const ErrorCatalogue::Entry kNoEof;
extern const ErrorCatalogue::Entry kNoStartxref;
extern const ErrorCatalogue::Entry kCrossReference;
extern const ErrorCatalogue::Entry kPrevLoop;
extern const ErrorCatalogue::Entry kCrossReferenceLimit;
extern const ErrorCatalogue::Entry kTableNoTrailer;
extern const ErrorCatalogue::Entry kTableObjectNumber;
extern const ErrorCatalogue::Entry kXRefStream;
extern const ErrorCatalogue::Entry kXRefStreamNoW;
extern const ErrorCatalogue::Entry kXRefStreamNoSize;
extern const ErrorCatalogue::Entry kXRefStreamIndex;
extern const ErrorCatalogue::Entry kXRefStreamW;
extern const ErrorCatalogue::Entry kXRefStreamFormat;
extern const ErrorCatalogue::Entry kXRefStreamWidth;
extern const ErrorCatalogue::Entry kComparerPair;
extern const ErrorCatalogue::Entry kComparerObject;
// writer/
extern const ErrorCatalogue::Entry kAesWriterHandler;
extern const ErrorCatalogue::Entry kWriteOutput;
extern const ErrorCatalogue::Entry kNoClassType;
extern const ErrorCatalogue::Entry kNativeType;
extern const ErrorCatalogue::Entry kStreamDataLimit;
extern const ErrorCatalogue::Entry kNoRoot;
extern const ErrorCatalogue::Entry kXRefStreamTableNumber;
extern const ErrorCatalogue::Entry kZipCompress;
// api/ and front/
extern const ErrorCatalogue::Entry kVerifyNotEncrypted;
extern const ErrorCatalogue::Entry kVerifyOwner;
extern const ErrorCatalogue::Entry kStandardInputLimit;
extern const ErrorCatalogue::Entry kOutOfMemory;
extern const ErrorCatalogue::Entry kUnexpected;
extern const ErrorCatalogue::Entry kTempPath;
extern const ErrorCatalogue::Entry kTempFileName;
extern const ErrorCatalogue::Entry kTempFileOpen;
extern const ErrorCatalogue::Entry kTempFileWrite;
extern const ErrorCatalogue::Entry kComCipher;
extern const ErrorCatalogue::Entry kComPassword;
// api/: a signed document not to be rewritten; what is signed follows
// ("2 signatures and a certification").
extern const ErrorCatalogue::Entry kSigned;

}  // namespace errtext
