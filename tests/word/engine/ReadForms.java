// Reads .doc files with Apache POI for the engine tests: "ok <characters of the main text>", then
// one line per check box or drop-down, "field <type: 1 check box, 2 drop-down> <stored state>
// <entries>".
//   java -cp <POI jars> ReadForms.java <file>...
import java.io.FileInputStream;
import org.apache.poi.hwpf.HWPFDocument;
import org.apache.poi.hwpf.model.FFData;
import org.apache.poi.hwpf.usermodel.CharacterRun;
import org.apache.poi.hwpf.usermodel.Range;

public class ReadForms {
    public static void main(String[] args) throws Exception {
        for (String path : args) {
            try (FileInputStream in = new FileInputStream(path)) {
                HWPFDocument doc = new HWPFDocument(in);
                Range range = doc.getRange();
                System.out.println("ok " + range.text().length());
                byte[] data = doc.getDataStream();
                for (int i = 0; i < range.numCharacterRuns(); i++) {
                    CharacterRun run = range.getCharacterRun(i);
                    if (!run.isData() || !run.isSpecialCharacter()) continue;
                    int at = run.getPicOffset();
                    if (at < 0 || at + 0x44 + 6 > data.length) continue;
                    // Form field data starts with a version of all ones; hyperlinks' data does not.
                    if (data[at + 0x44] != -1 || data[at + 0x45] != -1 || data[at + 0x46] != -1 || data[at + 0x47] != -1)
                        continue;
                    FFData ff = new FFData(data, at + 0x44);
                    byte[] raw = ff.serialize();
                    int bits = (raw[4] & 0xFF) | (raw[5] & 0xFF) << 8;
                    int type = bits & 3, state = (bits >> 2) & 31;
                    if (type == 0) continue;
                    String[] entries = type == 2 ? ff.getDropList() : null;
                    System.out.println("field " + type + " " + state + " " + (entries == null ? 0 : entries.length));
                }
            }
        }
    }
}
