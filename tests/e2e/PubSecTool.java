// Certificate-encrypted files written and read by PDFBox, for pubsec_interop.py.
//   encrypt IN OUT --aes 256|128 (or --rc4 128) CERT:P ...   P: the /P-style permission value, or "owner"
//   open IN P12 PASSWORD                       prints JSON
import java.io.File;
import java.io.FileInputStream;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import org.apache.pdfbox.pdmodel.PDDocument;
import org.apache.pdfbox.pdmodel.encryption.AccessPermission;
import org.apache.pdfbox.pdmodel.encryption.PublicKeyProtectionPolicy;
import org.apache.pdfbox.pdmodel.encryption.PublicKeyRecipient;
import org.apache.pdfbox.text.PDFTextStripper;

public class PubSecTool {
    public static void main(String[] a) throws Exception {
        if (a[0].equals("encrypt")) {
            PublicKeyProtectionPolicy policy = new PublicKeyProtectionPolicy();
            policy.setEncryptionKeyLength(Integer.parseInt(a[4]));
            policy.setPreferAES(a[3].equals("--aes"));  // 128 bits: AESV2 (V 4); --rc4: RC4 (V 2, s4)
            CertificateFactory x509 = CertificateFactory.getInstance("X.509");
            for (int i = 5; i < a.length; i++) {
                int colon = a[i].lastIndexOf(':');
                PublicKeyRecipient r = new PublicKeyRecipient();
                try (FileInputStream in = new FileInputStream(a[i].substring(0, colon))) {
                    r.setX509((X509Certificate) x509.generateCertificate(in));
                }
                String p = a[i].substring(colon + 1);
                r.setPermission(p.equals("owner") ? AccessPermission.getOwnerAccessPermission()
                                                  : new AccessPermission((int) Long.parseLong(p)));
                policy.addRecipient(r);
            }
            try (PDDocument doc = PDDocument.load(new File(a[1]))) {
                doc.protect(policy);
                doc.save(a[2]);
            }
            return;
        }
        try (FileInputStream keys = new FileInputStream(a[2]);
             PDDocument doc = PDDocument.load(new File(a[1]), a[3], keys, null)) {
            AccessPermission ap = doc.getCurrentAccessPermission();
            StringBuilder json = new StringBuilder("{\"pages\": " + doc.getNumberOfPages() + ", \"text\": [");
            PDFTextStripper text = new PDFTextStripper();
            for (int page = 1; page <= doc.getNumberOfPages(); page++) {
                text.setStartPage(page);
                text.setEndPage(page);
                json.append(page > 1 ? ", " : "").append(quote(text.getText(doc)));
            }
            json.append("], \"permissions\": ").append(ap.getPermissionBytes()).append(", \"owner\": ")
                .append(ap.isOwnerPermission()).append("}");
            System.out.println(json);
        }
    }

    static String quote(String s) {
        StringBuilder q = new StringBuilder("\"");
        for (char c : s.toCharArray())
            q.append(c == '"' || c == '\\' ? "\\" + c : c < 0x20 || c > 0x7e ? String.format("\\u%04x", (int) c) : c);
        return q.append('"').toString();
    }
}
