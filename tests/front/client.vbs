' A script host's view of the component: created by ProgID, called through
' IDispatch. EncryptPdf takes five arguments, the fifth (error) by reference,
' and returns the encrypted file; EncryptPdfWithCipher (IVarnel2) takes the
' cipher as a sixth argument. Exits with the number of failed checks.
' Arguments: a PDF file, a path that does not exist.
Option Explicit
On Error Resume Next

Dim failures
failures = 0

Sub Check(ok, what)
  If ok Then
    WScript.Echo "ok: " & what
  Else
    WScript.Echo "FAIL: " & what
    failures = failures + 1
  End If
End Sub

Dim varnel, result, message, text
Set varnel = CreateObject("VarnelCtrl.Varnel")
Check Err.Number = 0, "CreateObject(""VarnelCtrl.Varnel"") " & Err.Description
If Err.Number <> 0 Then WScript.Quit 1

' Success: a byte array (vbArray + vbByte = 8209) comes back; error keeps
' the value the script gave it.
message = "untouched"
result = varnel.EncryptPdf(WScript.Arguments(0), "user", "owner", "PC", message)
Check Err.Number = 0, "EncryptPdf on a PDF file " & Err.Description
Err.Clear
Check VarType(result) = 8209, "result is a byte array, VarType " & VarType(result)
Check message = "untouched", "error untouched on success: " & message
' CStr packs the bytes two to a character, low byte first (Wine's VBScript
' has no LenB/MidB/AscB); "%PDF-1.5" is &H5025 &H4644 &H312D &H352E.
text = CStr(result)
Check Len(text) > 100, "result holds a file, " & Len(text) & " characters"
Check AscW(Mid(text, 1, 1)) = &H5025 And AscW(Mid(text, 2, 1)) = &H4644 And _
      AscW(Mid(text, 3, 1)) = &H312D And AscW(Mid(text, 4, 1)) = &H352E, "result starts with %PDF-1.5"
Err.Clear

'' The cipher named: AES-256 files start with "%PDF-1.7" (&H372E for ".7").
message = "untouched"
result = varnel.EncryptPdfWithCipher(WScript.Arguments(0), "user", "owner", "PC", "aes-256", message)
Check Err.Number = 0, "EncryptPdfWithCipher on a PDF file " & Err.Description
Err.Clear
Check VarType(result) = 8209 And message = "untouched", "EncryptPdfWithCipher returns a byte array: " & message
text = CStr(result)
Check Len(text) > 100 And AscW(Mid(text, 4, 1)) = &H372E, "EncryptPdfWithCipher result starts with %PDF-1.7"
Err.Clear
result = Empty
message = Empty
result = varnel.EncryptPdfWithCipher(WScript.Arguments(0), "", "", "", "des", message)
Check message = "Varnel::EncryptPdfWithCipher:cipher" And IsEmpty(result), "an unknown cipher is refused: " & message
Err.Clear

' Failure: the message comes back in error, the call itself succeeds.
result = Empty
message = Empty
result = varnel.EncryptPdf(WScript.Arguments(1), "", "", "", message)
Check Err.Number = 0, "EncryptPdf on a missing file returns normally " & Err.Description
Err.Clear
Check message = "PdfParser::Abrir:fopen", "error holds the message: " & message
Check IsEmpty(result), "no result on failure"

WScript.Quit failures
