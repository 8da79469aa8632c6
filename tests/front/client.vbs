' A script host's view of the component (by ProgID, through IDispatch); exits with the number of failed checks.
' Arguments: a PDF file, a path that does not exist.
Option Explicit
On Error Resume Next
Dim failures, varnel, result, message, text
failures = 0
Sub Check(ok, what)
  If ok Then
    WScript.Echo "ok: " & what
  Else
    WScript.Echo "FAIL: " & what
    failures = failures + 1
  End If
End Sub
' CStr packs a byte array (8209) two bytes to a character, low first: "%PDF-1.5" is &H5025 &H4644 &H312D &H352E.
Function IsPdf(result, last)
  text = CStr(result)
  IsPdf = VarType(result) = 8209 And Len(text) > 100 And AscW(Mid(text, 1, 1)) = &H5025 And _
          AscW(Mid(text, 2, 1)) = &H4644 And AscW(Mid(text, 3, 1)) = &H312D And AscW(Mid(text, 4, 1)) = last
End Function

Set varnel = CreateObject("VarnelCtrl.Varnel")
Check Err.Number = 0, "CreateObject(""VarnelCtrl.Varnel"") " & Err.Description
If Err.Number <> 0 Then WScript.Quit 1
' Success: a byte array comes back, error (by reference) keeps its value; failure: the message in error.
message = "untouched"
result = varnel.EncryptPdf(WScript.Arguments(0), "user", "owner", "PC", message)
Check Err.Number = 0 And message = "untouched", "EncryptPdf on a PDF file " & Err.Description & message
Check IsPdf(result, &H352E), "EncryptPdf returns a PDF 1.5 file as a byte array, VarType " & VarType(result)
Err.Clear
result = varnel.EncryptPdfWithCipher(WScript.Arguments(0), "user", "owner", "PC", "aes-256", message)
Check Err.Number = 0 And message = "untouched", "EncryptPdfWithCipher on a PDF file " & Err.Description & message
Check IsPdf(result, &H372E), "EncryptPdfWithCipher aes-256 returns a PDF 1.7 file"
Err.Clear
result = Empty
message = Empty
result = varnel.EncryptPdf(WScript.Arguments(1), "", "", "", message)
Check Err.Number = 0, "EncryptPdf on a missing file returns normally " & Err.Description
Check message = "PdfParser::Abrir:fopen" And IsEmpty(result), "error holds the message, no result: " & message
WScript.Quit failures
