#include "base/errorcatalogue.h"

namespace errtext {

using Code = ErrorCatalogue::Code;
using Entry = ErrorCatalogue::Entry;

// A limit reached is an error, never damage to repair past: the limits are set
// against hostile files, and a repair would read the same data again.

// base/: streams
const Entry kOpenFopen{"PdfParser::Abrir:fopen", Code::kOpenFailed, false, "the file does not exist or cannot be read"};
const Entry kOpenMalloc{"PdfParser::Abrir:malloc", Code::kLimitExceeded, false,
                        "reading it needs more memory than is available"};
const Entry kOpenSetvbuf{"PdfParser::Parse:setvbuf", Code::kOpenFailed, false, "the file cannot be read"};
const Entry kFileRead{"PdfFileStream::Leer::fread", Code::kDamaged, true,
                      "it ends before the data it describes; the file may be truncated"};
const Entry kFileSeekArgument{"PdfFileStream::Seek::mal argumento", Code::kDamaged, true,
                              "it names a position that is not in the file"};
const Entry kFileSeek{"PdfFileStream::Seek::fseek", Code::kDamaged, true,
                      "it names a position that is not in the file"};
const Entry kFileLength{"NOT IMPLEMENTED. PdfFileStream::Length", Code::kDamaged, true,
                        "the reader failed on it (an internal fault)"};
const Entry kMemoryRead{"PdfMemoryStream::Leer:fuera de rango", Code::kDamaged, true,
                        "it ends before the data it describes; the file may be truncated"};
const Entry kMemorySeekArgument{"PdfMemoryStream::Seek::mal argumento", Code::kDamaged, true,
                                "it names a position that is not in the file"};
const Entry kMemorySeek{"PdfMemoryStream::Seek::fseek", Code::kDamaged, true,
                        "it names a position that is not in the file"};
// crypt/: ciphers and security handlers
const Entry kAesKeyLength{"AesCbc:key length", Code::kDamaged, true,
                          "an AES key of its encryption has the wrong length"};
const Entry kAesPartialBlock{"AesCbc:partial block", Code::kDamaged, true,
                             "encrypted data in it do not fill whole AES blocks"};
const Entry kAesInit{"AesCbc:init", Code::kDamaged, true, "the system's AES cipher failed"};
const Entry kAesUpdate{"AesCbc:update", Code::kDamaged, true, "the system's AES cipher failed"};
const Entry kBadOU{"PdfSecurityHandler:bad /O /U", Code::kDamaged, true,
                   "the values that check its passwords (/O, /U) are too short to open it"};
const Entry kIdentifierLength{"PdfStandardSecurityHandler::ComputeKeys:identifier length", Code::kDamaged, true,
                              "its file identifier (/ID) is too long"};
const Entry kHandlerKeyLength{"PdfSecurityHandler:key length", Code::kDamaged, true,
                              "its encryption names a key length that cannot be used"};
const Entry kRc4KeyLength{"Rc4::Rc4:key length", Code::kDamaged, true,
                          "an RC4 key of its encryption has the wrong length"};
const Entry kSaslPrepProfile{"SaslPrep::Prepare:profile", Code::kDamaged, true,
                             "the system's password preparation (SASLprep) is not available"};
// crypt/: certificate encryption. The texts of the first two are followed
// by the certificate's name and why.
const Entry kCertificateUnreadable{"RecipientCertificate:unreadable:", Code::kUsage, false,
                                   "a recipient's file holds no certificate that can be read (PEM or DER)"};
const Entry kCertificateUnusable{"RecipientCertificate:unusable:", Code::kUsage, false,
                                 "a recipient's certificate cannot be used"};
const Entry kIdentityUnreadable{"Identity:unreadable", Code::kWrongPassword, false,
                                "the identity cannot be read: it is no PKCS#12 or PEM file with a private key and its "
                                "certificate, or its password is wrong"};
const Entry kEnvelopeMalformed{"CmsEnvelope:malformed", Code::kDamaged, false,
                               "a recipient's envelope (/Recipients) is no CMS enveloped data"};
const Entry kEnvelopeSeal{"CmsEnvelope:seal", Code::kUsage, false,
                          "the file key could not be sealed for a recipient's certificate"};
const Entry kPublicKeyNoPasswords{"PdfPublicKeySecurityHandler:no passwords", Code::kUsage, false,
                                  "a document encrypted for certificates has no passwords"};
const Entry kPublicKeyUnavailable{"PublicKey:unavailable", Code::kUsage, false,
                                  "certificate encryption is not available in this build"};
const Entry kRandom{"SecureRandom::Fill:random", Code::kDamaged, true, "the system's random number source failed"};
const Entry kRandomString{"PdfStandardSecurityHandler::GenerateRandomString:random", Code::kDamaged, true,
                          "the system's random number source failed"};
const Entry kSha2Size{"Sha2::Digest:size", Code::kDamaged, true, "the system's SHA-2 digest failed"};
const Entry kSha2Failed{"Sha2::Digest:failed", Code::kDamaged, true, "the system's SHA-2 digest failed"};
// pdf/: values
const Entry kArrayIndex{"PdfArray::GetValue. Out of range index.", Code::kDamaged, true,
                        "an array in it is shorter than it should be"};
const Entry kDictionaryPair{"PdfDiccionario::InsertValue:no PdfKeyValuePair", Code::kDamaged, true,
                            "a dictionary in it cannot be read"};
const Entry kDictionaryIndex{"PdfDiccionario::GetValue. Out of range index.", Code::kDamaged, true,
                             "a dictionary in it is shorter than it should be"};
// pdf/: filters
const Entry kAscii85Limit{"PdfASCII85DecodeStreamFilter::Filter:limit", Code::kLimitExceeded, false,
                          "a stream decodes to more data than is allowed"};
const Entry kAscii85Z{"PdfASCII85DecodeStreamFilter::Filter:z inside ascii85 region", Code::kDamaged, true,
                      "an ASCII85 stream in it is corrupt"};
const Entry kAscii85End{"PdfASCII85DecodeStreamFilter::~ without > in ascii85 section", Code::kDamaged, true,
                        "an ASCII85 stream in it is corrupt"};
const Entry kAscii85Character{"PdfASCII85DecodeStreamFilter::Filter:bad character in ascii85 region", Code::kDamaged,
                              true, "an ASCII85 stream in it is corrupt"};
const Entry kDeflate{"PdfDeflateStreamFilter::Filter", Code::kDamaged, true, "a compressed stream it needs is corrupt"};
const Entry kDeflateLimit{"PdfDeflateStreamFilter::Filter:limit", Code::kLimitExceeded, false,
                          "a stream decodes to more data than is allowed"};
const Entry kLzwLimit{"PdfLZWDecodeStreamFilter::Filter:limit", Code::kLimitExceeded, false,
                      "a stream decodes to more data than is allowed"};
const Entry kLzwCode{"PdfLZWDecodeStreamFilter::Filter:bad code", Code::kDamaged, true,
                     "an LZW stream in it is corrupt"};
const Entry kPredictorUnknown{"PdfCompressedStream::GetNextPredictedLine. unknown predictor", Code::kDamaged, true,
                              "a stream uses a predictor that does not exist"};
const Entry kPredictorParameters{"PdfCompressedStream::DecodePredictor:bad parameters", Code::kDamaged, true,
                                 "a stream's predictor parameters cannot be used"};
const Entry kPredictorLimit{"PdfCompressedStream::DecodePredictor:limit", Code::kLimitExceeded, false,
                            "a stream decodes to more data than is allowed"};
const Entry kPredictorParms{"PdfCompressedStream::DecodePredictor. decode value != PdfDiccionario", Code::kDamaged,
                            true, "a stream's predictor parameters cannot be used"};
const Entry kUnknownFilter{"", Code::kDamaged, true, "a stream it needs uses a filter this reader does not decode"};
const Entry kDecompressNoContent{"PdfCompressedStream::Decompress:no content stream", Code::kDamaged, true,
                                 "a stream it needs cannot be found"};
const Entry kDecompressLimit{"PdfCompressedStream::Decompress:limit", Code::kLimitExceeded, false,
                             "its streams decode to more data than is allowed"};
const Entry kDecompressNoOffset{"PdfCompressedStream::Decompress::no /OffsetStream", Code::kDamaged, true,
                                "a stream it needs cannot be found"};
const Entry kDecompressNoLength{"PdfCompressedStream::Decompress::no /Length", Code::kDamaged, true,
                                "a stream it needs has no length (/Length)"};
const Entry kDecompressZeroLength{"PdfCompressedStream::DecompressDict() length=0", Code::kDamaged, true,
                                  "a stream it needs is empty"};
const Entry kStreamNoLength{"/OffsetStream no /Length", Code::kDamaged, true, "a stream has no length (/Length)"};
// pdf/: decryption
const Entry kWrongPassword{"Wrong password", Code::kWrongPassword, false,
                           "it is neither its user nor its owner password"};
const Entry kOwnerPasswordNeeded{"Owner password needed", Code::kOwnerPasswordRequired, false,
                                 "the job needs its owner password (or a user password that grants modification)"};
const Entry kEncryptUnsupported{"PdfDecryption:unsupported Encrypt dictionary", Code::kDamaged, false,
                                "its encryption is of a kind this reader does not open"};
const Entry kIdentityNeeded{"PdfDecryption:identity needed", Code::kWrongPassword, false,
                            "it is encrypted for named recipients' certificates: it opens with a recipient's private "
                            "key (an identity), not with a password"};
const Entry kNotARecipient{"PdfDecryption:not a recipient", Code::kWrongPassword, false,
                           "the identity given is none of its recipients"};
const Entry kRecipientMayNotChange{"Recipient may not change protection", Code::kOwnerPasswordRequired, false,
                                   "this recipient may not change the document's protection"};
const Entry kSeedLength{"PdfPublicKeySecurityHandler:seed length", Code::kDamaged, false,
                        "its envelope for this recipient holds no file key seed of the right length"};
const Entry kRecipientsLimit{"PdfDecryption:recipients limit", Code::kLimitExceeded, false,
                             "it names more recipients' envelopes than a limit allows"};
const Entry kDecryptionKeyLength{"PdfDecryption:key length", Code::kDamaged, false,
                                 "its encryption names a key length that cannot be used"};
const Entry kAesDataLength{"PdfDecryption:AES data length", Code::kDamaged, true, "encrypted data in it are cut short"};
const Entry kAesPadding{"PdfDecryption:bad padding", Code::kDamaged, true, "encrypted data in it do not decrypt"};
// pdf/: the reader
const Entry kNotPdf{"No es archivo pdf.", Code::kNotPdf, true, "it does not start with %PDF-"};
const Entry kEncrypted{"Encrypted", Code::kEncrypted, false,
                       "its password is needed (--input-password to re-encrypt it)"};
const Entry kEncryptedForRecipients{"Encrypted for recipients", Code::kEncrypted, false,
                                    "it is sealed for named recipients' certificates: a recipient's private key is "
                                    "needed (--input-identity to re-encrypt it)"};
const Entry kTokenLimit{"PdfParser::NextToken:Limit", Code::kLimitExceeded, false,
                        "a word in it is longer than the 65535 bytes allowed"};
const Entry kStringEof{"PdfParser::ParseString:EOF", Code::kDamaged, true, "a string in it has no end"};
const Entry kStringLimit{"PdfParser::ParseString:Limit", Code::kLimitExceeded, false,
                         "a string in it is longer than the 65535 bytes allowed"};
const Entry kHexStringLimit{"PdfParser::ParseHexString:Limit", Code::kLimitExceeded, false,
                            "a string in it is longer than the 65535 characters allowed"};
const Entry kHexStringEof{"PdfParser::ParseHexString:EOF", Code::kDamaged, true, "a string in it has no end"};
const Entry kScanLimit{"PdfXRefScanner::Scan:limit", Code::kLimitExceeded, false,
                       "it holds more objects than are allowed"};
const Entry kXRefEntry{"XRef::Read:entry", Code::kDamaged, true, "its cross-reference table cannot be read"};
const Entry kCacheInsert{"PdfFileParser::InsertarObjetoEnCache: cache_objetos.insert", Code::kDamaged, true,
                         "the reader failed on it (an internal fault)"};
const Entry kValueNew{"PdfFileParser::NuevoValue:new", Code::kLimitExceeded, false,
                      "reading it needs more memory than is available"};
const Entry kValueLimit{"PdfFileParser::NuevoValue:limit", Code::kLimitExceeded, false,
                        "it holds more values than are allowed"};
const Entry kOffsetReference{"PdfFileParser::OffsetObjeto:Referencia", Code::kDamaged, true,
                             "an object it lists is missing"};
const Entry kNoOffset{"PdfFileParser::OffsetObjeto:No offset", Code::kDamaged, true, "an object it lists is missing"};
const Entry kFetchRecursion{"PdfFileParser::DameObjeto:recursion", Code::kLimitExceeded, false,
                            "its objects refer to each other deeper than is allowed"};
const Entry kObjectTextLimit{"PdfFileParser::DameObjeto:limit", Code::kLimitExceeded, false,
                             "its objects hold more text than is allowed"};
const Entry kWrongObject{"PdfFileParser::DameObjeto:wrong object at offset", Code::kDamaged, true,
                         "an object is not where its cross-reference table says"};
const Entry kObjStmSelfReference{"PdfFileParser::ParseObjectStream:self reference", Code::kDamaged, true,
                                 "an object stream holds itself"};
const Entry kObjStmType{"PdfFileParser::ParseObjectStream. Type != /ObjStm", Code::kDamaged, true,
                        "an object it lists in an object stream is not in one"};
const Entry kObjStmHeader{"PdfFileParser::ParseObjectStream:bad header", Code::kDamaged, true,
                          "an object stream's list of objects cannot be read"};
const Entry kObjStmMember{"PdfFileParser::ParseObjectStream:object not found", Code::kDamaged, true,
                          "an object stream does not hold an object listed in it"};
const Entry kDictionaryToken{"PdfFileParser::ParseDiccionario:NextToken", Code::kDamaged, true,
                             "an object cannot be read where it should be"};
const Entry kDictionaryKey{"PdfFileParser::ParseDiccionario:token", Code::kDamaged, true,
                           "a dictionary in it cannot be read"};
const Entry kNestingLimit{"PdfFileParser::ParseValue:nesting too deep", Code::kLimitExceeded, false,
                          "its arrays and dictionaries nest deeper than is allowed"};
const Entry kBadCharSequence{"PdfFileParser::KeyValuePairStream:bad char sequence", Code::kDamaged, true,
                             "a stream's start cannot be read"};
const Entry kKeyValuePair{"PdfFileParser::ParseKeyValuePair", Code::kDamaged, true,
                          "a dictionary in it cannot be read"};
const Entry kNotNumeral{"PdfFileParser::ParseValue:EsNumeral", Code::kDamaged, true, "a value in it cannot be read"};
const Entry kEndOfData{"PdfFileParser::ParseValue:end of data", Code::kDamaged, true, "a value in it has no end"};
const Entry kUnexpectedToken{"", Code::kDamaged, true, "a value in it cannot be read"};
const Entry kNoEndstream{"PdfFileParser::StreamExtent:no endstream", Code::kDamaged, true, "a stream has no end"};
const Entry kTrailerToken{"PdfFileParser::ParseTrailerDict::NextToken", Code::kDamaged, true,
                          "its trailer cannot be read"};
const Entry kRecoverNoCatalog{"PdfFileParser::Recover:no catalog with pages", Code::kDamaged, true,
                              "no document catalog with pages is left in it"};
const Entry kParseNoCatalog{"PdfFileParser::Parse:no catalog with pages", Code::kDamaged, true,
                            "it has no document catalog with pages"};
const Entry kStartAddress{"PdfFileParser::Parse:LeerStartAddress", Code::kDamaged, true,
                          "its end (startxref) cannot be read; the file may be truncated"};
const Entry kNoEof{"PdfFileParser::LeerStartAddress:no %%EOF", Code::kDamaged, true,
                   "it does not end with %%EOF; the file may be truncated"};
const Entry kNoStartxref{"PdfFileParser::LeerStartAddress:no startxref", Code::kDamaged, true,
                         "its end (startxref) is missing; the file may be truncated"};
const Entry kCrossReference{"PdfFileParser::ParseCrossReference", Code::kDamaged, true,
                            "its cross-reference table cannot be read"};
const Entry kPrevLoop{"PdfFileParser::ParseCrossReference:Prev loop", Code::kDamaged, true,
                      "its cross-reference sections run in a loop"};
const Entry kCrossReferenceLimit{"PdfFileParser::ParseCrossReference:limit", Code::kLimitExceeded, false,
                                 "its cross-reference data list more entries than are allowed"};
const Entry kTableNoTrailer{"PdfFileParser::LeerCrossReferenceTable:no trailer", Code::kDamaged, true,
                            "its cross-reference table cannot be read"};
const Entry kTableObjectNumber{"PdfFileParser::LeerCrossReferenceTable:object number", Code::kDamaged, true,
                               "its cross-reference table cannot be read"};
const Entry kXRefStream{"PdfFileParser::LeerCrossReferenceStream. ", Code::kDamaged, true,
                        "its cross-reference stream cannot be read"};
const Entry kXRefStreamNoW{"PdfFileParser::LeerCrossReferenceStream. no /W array", Code::kDamaged, true,
                           "its cross-reference stream cannot be read"};
const Entry kXRefStreamNoSize{"PdfFileParser::LeerCrossReferenceStream. no /Size", Code::kDamaged, true,
                              "its cross-reference stream cannot be read"};
const Entry kXRefStreamIndex{"PdfFileParser::LeerCrossReferenceStream. bad /Index", Code::kDamaged, true,
                             "its cross-reference stream cannot be read"};
const Entry kXRefStreamW{"PdfFileParser::ParseCrossRefStreamEntry. unknown /W array", Code::kDamaged, true,
                         "its cross-reference stream cannot be read"};
const Entry kXRefStreamFormat{"PdfFileParser::ParseCrossRefStreamEntry. Format not supported.", Code::kDamaged, true,
                              "its cross-reference stream cannot be read"};
const Entry kXRefStreamWidth{"PdfFileParser::ParseBytes.", Code::kDamaged, true,
                             "its cross-reference stream cannot be read"};
const Entry kComparerPair{"PdfDocumentComparer:pair", Code::kOutputFailed, false,
                          "the reader failed on it (an internal fault)"};
const Entry kComparerObject{"PdfDocumentComparer:object ", Code::kOutputFailed, false,
                            "an object of the copy does not read back as written"};
// writer/
const Entry kAesWriterHandler{"PdfAesEncryptedFileWriter:handler", Code::kDamaged, true,
                              "the reader failed on it (an internal fault)"};
const Entry kWriteOutput{"PdfFileWriter::Write:output", Code::kOutputFailed, false, "the copy cannot be written"};
const Entry kNoClassType{"no GetClassType()", Code::kDamaged, true, "the reader failed on it (an internal fault)"};
const Entry kNativeType{"PdfValue native_type no valido", Code::kDamaged, true,
                        "the reader failed on it (an internal fault)"};
const Entry kStreamDataLimit{"PdfFileWriter::WriteDictionary:stream data limit", Code::kLimitExceeded, false,
                             "a stream holds more data than is allowed"};
const Entry kNoRoot{"PdfFileWriter::WriteDocumentEnd:no /Root", Code::kDamaged, true,
                    "it has no document catalog (/Root)"};
const Entry kXRefStreamTableNumber{"PdfXRefStreamTable::AddEntry:bad object number", Code::kDamaged, true,
                                   "an object number in it is out of range"};
const Entry kZipCompress{"zip_ostringstream::DameBufferZip:compress", Code::kOutputFailed, false,
                         "the copy's cross-reference stream cannot be compressed"};
// api/ and front/
const Entry kVerifyNotEncrypted{"Verify:the output is not encrypted", Code::kOutputFailed, false,
                                "the copy does not read back as written: it is not encrypted"};
const Entry kVerifyOwner{"Verify:the owner password does not open the output as owner", Code::kOutputFailed, false,
                         "the copy does not read back as written: the owner password does not open it as owner"};
const Entry kStandardInputLimit{"standard input:limit", Code::kLimitExceeded, false,
                                "standard input holds more than the 4 GiB allowed"};
const Entry kOutOfMemory{"out of memory", Code::kLimitExceeded, false,
                         "reading it needs more memory than is available"};
const Entry kUnexpected{"Fatal error parse phase.", Code::kDamaged, false,
                        "the reader failed on it (an internal fault)"};
const Entry kTempPath{"GetTempPath()", Code::kOutputFailed, false, "the temporary folder cannot be found"};
const Entry kTempFileName{"GetTempFileName()", Code::kOutputFailed, false, "no temporary file can be made"};
const Entry kTempFileOpen{"ofstream open()", Code::kOutputFailed, false, "the temporary file cannot be opened"};
const Entry kTempFileWrite{"Varnel::EncryptPdf:ofstream write", Code::kOutputFailed, false,
                           "the copy cannot be written"};
const Entry kComCipher{"Varnel::EncryptPdfWithCipher:cipher", Code::kUsage, false,
                       "the cipher named is not one of aes-256, aes-128, rc4-128"};
const Entry kComPassword{"Varnel::EncryptPdfWithCipher:password", Code::kUsage, false,
                         "a password cannot be used with the cipher named"};
const Entry kSigned{"DocumentEncryptor:signed:", Code::kSigned, false,
                    "encrypting it invalidates its signatures: use --invalidate-signatures to go ahead"};

}  // namespace errtext

namespace {

const ErrorCatalogue::Entry* const kAll[] = {
    &errtext::kOpenFopen,
    &errtext::kOpenMalloc,
    &errtext::kOpenSetvbuf,
    &errtext::kFileRead,
    &errtext::kFileSeekArgument,
    &errtext::kFileSeek,
    &errtext::kFileLength,
    &errtext::kMemoryRead,
    &errtext::kMemorySeekArgument,
    &errtext::kMemorySeek,
    &errtext::kAesKeyLength,
    &errtext::kAesPartialBlock,
    &errtext::kAesInit,
    &errtext::kAesUpdate,
    &errtext::kBadOU,
    &errtext::kIdentifierLength,
    &errtext::kHandlerKeyLength,
    &errtext::kRc4KeyLength,
    &errtext::kSaslPrepProfile,
    &errtext::kCertificateUnreadable,
    &errtext::kCertificateUnusable,
    &errtext::kIdentityUnreadable,
    &errtext::kEnvelopeMalformed,
    &errtext::kEnvelopeSeal,
    &errtext::kPublicKeyNoPasswords,
    &errtext::kPublicKeyUnavailable,
    &errtext::kRandom,
    &errtext::kRandomString,
    &errtext::kSha2Size,
    &errtext::kSha2Failed,
    &errtext::kArrayIndex,
    &errtext::kDictionaryPair,
    &errtext::kDictionaryIndex,
    &errtext::kAscii85Limit,
    &errtext::kAscii85Z,
    &errtext::kAscii85End,
    &errtext::kAscii85Character,
    &errtext::kDeflate,
    &errtext::kDeflateLimit,
    &errtext::kLzwLimit,
    &errtext::kLzwCode,
    &errtext::kPredictorUnknown,
    &errtext::kPredictorParameters,
    &errtext::kPredictorLimit,
    &errtext::kPredictorParms,
    &errtext::kUnknownFilter,
    &errtext::kDecompressNoContent,
    &errtext::kDecompressLimit,
    &errtext::kDecompressNoOffset,
    &errtext::kDecompressNoLength,
    &errtext::kDecompressZeroLength,
    &errtext::kStreamNoLength,
    &errtext::kWrongPassword,
    &errtext::kOwnerPasswordNeeded,
    &errtext::kEncryptUnsupported,
    &errtext::kIdentityNeeded,
    &errtext::kNotARecipient,
    &errtext::kRecipientMayNotChange,
    &errtext::kSeedLength,
    &errtext::kRecipientsLimit,
    &errtext::kDecryptionKeyLength,
    &errtext::kAesDataLength,
    &errtext::kAesPadding,
    &errtext::kNotPdf,
    &errtext::kEncrypted,
    &errtext::kEncryptedForRecipients,
    &errtext::kTokenLimit,
    &errtext::kStringEof,
    &errtext::kStringLimit,
    &errtext::kHexStringLimit,
    &errtext::kHexStringEof,
    &errtext::kScanLimit,
    &errtext::kXRefEntry,
    &errtext::kCacheInsert,
    &errtext::kValueNew,
    &errtext::kValueLimit,
    &errtext::kOffsetReference,
    &errtext::kNoOffset,
    &errtext::kFetchRecursion,
    &errtext::kObjectTextLimit,
    &errtext::kWrongObject,
    &errtext::kObjStmSelfReference,
    &errtext::kObjStmType,
    &errtext::kObjStmHeader,
    &errtext::kObjStmMember,
    &errtext::kDictionaryToken,
    &errtext::kDictionaryKey,
    &errtext::kNestingLimit,
    &errtext::kBadCharSequence,
    &errtext::kKeyValuePair,
    &errtext::kNotNumeral,
    &errtext::kEndOfData,
    &errtext::kUnexpectedToken,
    &errtext::kNoEndstream,
    &errtext::kTrailerToken,
    &errtext::kRecoverNoCatalog,
    &errtext::kParseNoCatalog,
    &errtext::kStartAddress,
    &errtext::kNoEof,
    &errtext::kNoStartxref,
    &errtext::kCrossReference,
    &errtext::kPrevLoop,
    &errtext::kCrossReferenceLimit,
    &errtext::kTableNoTrailer,
    &errtext::kTableObjectNumber,
    &errtext::kXRefStream,
    &errtext::kXRefStreamNoW,
    &errtext::kXRefStreamNoSize,
    &errtext::kXRefStreamIndex,
    &errtext::kXRefStreamW,
    &errtext::kXRefStreamFormat,
    &errtext::kXRefStreamWidth,
    &errtext::kComparerPair,
    &errtext::kComparerObject,
    &errtext::kAesWriterHandler,
    &errtext::kWriteOutput,
    &errtext::kNoClassType,
    &errtext::kNativeType,
    &errtext::kStreamDataLimit,
    &errtext::kNoRoot,
    &errtext::kXRefStreamTableNumber,
    &errtext::kZipCompress,
    &errtext::kVerifyNotEncrypted,
    &errtext::kVerifyOwner,
    &errtext::kStandardInputLimit,
    &errtext::kOutOfMemory,
    &errtext::kUnexpected,
    &errtext::kTempPath,
    &errtext::kTempFileName,
    &errtext::kTempFileOpen,
    &errtext::kTempFileWrite,
    &errtext::kComCipher,
    &errtext::kComPassword,
    &errtext::kSigned,
};

}  // namespace

const ErrorCatalogue::Entry* const* ErrorCatalogue::begin() { return kAll; }

const ErrorCatalogue::Entry* const* ErrorCatalogue::end() { return kAll + sizeof kAll / sizeof kAll[0]; }
