"""A SOAP client written elsewhere against the built quorra-standin: suds or zeep from its WSDL,
SOAP::Lite (test_soap_lite_client.pl), or a hand-written multiRef request. The echo engine must
hand back the very bytes sent, in both source forms, and the codes must be the service's.

Usage: test_soap_clients.py suds|zeep|multiref|soaplite[=PERL] PATH_TO_QUORRA_STANDIN
"""

import base64
import os
import re
import signal
import subprocess
import sys
import tempfile
import unittest
import urllib.request
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

STANDIN = None
CLIENT = None
NAMESPACE = "http://www.korvane.com/quorra/MediaAdapter"
ALL_BYTES = bytes(range(256)) * 3
HERE = os.path.dirname(os.path.abspath(__file__))


class ClientAgainstStandin(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.TemporaryDirectory()
        with open(os.path.join(cls.root.name, "a&b.mp3"), "wb") as f:
            f.write(ALL_BYTES + b"tail")
        cls.process = subprocess.Popen(
            [STANDIN, "--port", "0", "--engine", "echo", "--web-root", cls.root.name,
             "--web-port", "0"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        cls.endpoint = cls.read_url(r"MediaAdapter at (\S+)")
        cls.web_root = cls.read_url(r"serving .* at (\S+)")
        if CLIENT == "suds":
            from suds.client import Client
            cls.client = Client(cls.endpoint + "?wsdl", cache=None)
        elif CLIENT == "zeep":
            import zeep
            cls.client = zeep.Client(cls.endpoint + "?wsdl")

    @classmethod
    def read_url(cls, pattern):
        line = cls.process.stdout.readline()
        match = re.search(pattern, line)
        if not match:
            cls.process.kill()
            raise RuntimeError("quorra-standin did not start: %r %s" %
                               (line, cls.process.stderr.read()))
        return match.group(1)

    @classmethod
    def tearDownClass(cls):
        cls.process.send_signal(signal.SIGTERM)
        cls.log = cls.process.stderr.read()
        cls.process.wait()
        cls.root.cleanup()
        if cls.process.returncode != 0:
            raise RuntimeError("quorra-standin ended with %d:\n%s" %
                               (cls.process.returncode, cls.log))

    def call(self, channels="Mono", location=None, file_data=None):
        """(returnCode, message, decoded fileData or None) of one call."""
        return getattr(self, CLIENT.split("=")[0])(channels, location, file_data)

    def suds(self, channels, location, file_data):
        factory = self.client.factory
        call = factory.create("ns0:TranscodeInput")
        call.transactionID = ""
        source = call.request.source
        source.type, source.format, source.codec = "audio", "mp3", "mp3"
        source.location = location
        if file_data is not None:
            source.fileData = base64.b64encode(file_data).decode("ascii")
        call.request.target.profileID = ""
        audio = call.request.target.profile.audio
        audio.fileFormat, audio.codec, audio.bitRate = "mp4", "aac", "16000"
        audio.channels, audio.durationLimit = channels, -1
        audio.samplingRate, audio.samplingResolution = "22050", 0
        call.request.additionalData = ""
        answer = self.client.service.transcode(call)
        data = getattr(answer, "fileData", None)
        return answer.returnCode, answer.message, data and base64.b64decode(data)

    def zeep(self, channels, location, file_data):
        media = {"location": location} if location else {"fileData": file_data}
        audio = {"fileFormat": "mp4", "codec": "aac", "bitRate": "16000", "channels": channels,
                 "durationLimit": -1, "samplingRate": "22050", "samplingResolution": 0}
        answer = self.client.service.transcode(in0={"transactionID": "", "request": {
            "source": dict(type="audio", format="mp3", codec="mp3", **media),
            "target": {"profileID": "", "profile": {"audio": audio}}, "additionalData": ""}})
        return answer.returnCode, answer.message, answer.fileData

    def soaplite(self, channels, location, file_data):
        media = ["location", location] if location else [
            "fileData", base64.b64encode(file_data).decode("ascii")]
        line = subprocess.run([CLIENT.split("=")[1], os.path.join(HERE, "test_soap_lite_client.pl"),
                               self.endpoint] + media + [channels],
                              capture_output=True, text=True, check=True).stdout
        code, message, data = line.rstrip("\n").split("\t")
        return int(code), message, base64.b64decode(data) if data else None

    def multiref(self, channels, location, file_data):
        media = ("<location>%s</location>" % escape(location) if location else
                 "<fileData>%s</fileData>" % base64.b64encode(file_data).decode("ascii"))
        # The fuzz seed written as Axis writes a call: each value a multiRef element, by href.
        with open(os.path.join(HERE, "../../fuzz/corpus/standin_request/multi_ref.xml")) as f:
            body = f.read().replace(">Mono<", ">%s<" % channels).replace(
                '<fileData xsi:type="xsd:base64Binary">QUJD</fileData>', media).encode()
        request = urllib.request.Request(self.endpoint, data=body, headers={
            "Content-Type": "text/xml; charset=utf-8", "SOAPAction": '""'})
        with urllib.request.urlopen(request, timeout=60) as answer:
            result = ET.fromstring(answer.read()).find(".//transcodeReturn")
        data = result.findtext("fileData")
        return (int(result.findtext("returnCode")), result.findtext("message"),
                None if data is None else base64.b64decode(data))

    def test_wsdl_names_the_address_it_was_fetched_from(self):
        if CLIENT != "suds":
            self.skipTest("read through suds")
        port = self.client.wsdl.services[0].ports[0]
        self.assertEqual(port.location, self.endpoint)
        method = port.methods["transcode"]
        self.assertEqual(method.soap.action, '"transcode"')
        self.assertEqual(method.soap.style, "rpc")
        self.assertEqual(self.client.wsdl.tns[1], NAMESPACE)

    def test_file_data_comes_back_byte_for_byte(self):
        self.assertEqual(self.call(file_data=ALL_BYTES), (0, "OK", ALL_BYTES))

    def test_location_on_the_web_root_comes_back_byte_for_byte(self):
        self.assertEqual(self.call(location=self.web_root + "a&b.mp3"),
                         (0, "OK", ALL_BYTES + b"tail"))

    def test_a_profile_the_chart_forbids_gets_2001_without_file_data(self):
        self.assertEqual(self.call(channels="Stereo", file_data=b"x"),
                         (2001, "Error in command parameters", None))


def main():
    global CLIENT, STANDIN
    CLIENT, STANDIN = sys.argv.pop(1), sys.argv.pop(1)
    result = unittest.main(exit=False, verbosity=2).result
    log = getattr(ClientAgainstStandin, "log", "")
    print(log, end="")
    # What the client sent was read as it meant it: profile, source kind and size per call.
    expected = [
        "status=200 source=fileData size=%d profile=mp4/aac/16000/22050/Mono code=0 "
        % len(ALL_BYTES),
        "status=200 source=location size=%d profile=mp4/aac/16000/22050/Mono code=0 "
        % (len(ALL_BYTES) + 4),
        "status=200 source=fileData size=0 profile=mp4/aac/16000/22050/Stereo code=2001 ",
    ]
    missing = [line for line in expected if line not in log]
    for line in missing:
        print("missing from the request log: " + line)
    if CLIENT == "suds" and 'action="transcode"' not in log:
        print('missing from the request log: action="transcode"')
        missing.append("action")
    sys.exit(0 if result.wasSuccessful() and not missing else 1)


if __name__ == "__main__":
    main()
