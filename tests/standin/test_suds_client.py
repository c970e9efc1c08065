"""A SOAP client written elsewhere (suds) against the built quorra-standin.

suds reads the WSDL the stand-in serves and calls transcode with its own rpc/encoded request;
the echo engine must hand back the very bytes sent, and the codes must be the service's.

Usage: test_suds_client.py PATH_TO_QUORRA_STANDIN
"""

import base64
import os
import re
import signal
import subprocess
import sys
import tempfile
import unittest

from suds.client import Client

STANDIN = None
NAMESPACE = "http://www.korvane.com/quorra/MediaAdapter"
ALL_BYTES = bytes(range(256)) * 3


class SudsAgainstStandin(unittest.TestCase):
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
        cls.wsdl_url = cls.endpoint + "?wsdl"
        cls.client = Client(cls.wsdl_url, cache=None)

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
        return self.client.service.transcode(call)

    def test_wsdl_names_the_address_it_was_fetched_from(self):
        port = self.client.wsdl.services[0].ports[0]
        self.assertEqual(port.location, self.endpoint)
        method = port.methods["transcode"]
        self.assertEqual(method.soap.action, '"transcode"')
        self.assertEqual(method.soap.style, "rpc")
        self.assertEqual(self.client.wsdl.tns[1], NAMESPACE)

    def test_file_data_comes_back_byte_for_byte(self):
        answer = self.call(file_data=ALL_BYTES)
        self.assertEqual(answer.returnCode, 0)
        self.assertEqual(answer.message, "OK")
        self.assertEqual(base64.b64decode(answer.fileData), ALL_BYTES)

    def test_location_on_the_web_root_comes_back_byte_for_byte(self):
        answer = self.call(location=self.web_root + "a&b.mp3")
        self.assertEqual(answer.returnCode, 0)
        self.assertEqual(base64.b64decode(answer.fileData), ALL_BYTES + b"tail")

    def test_a_profile_the_chart_forbids_gets_2001_without_file_data(self):
        answer = self.call(channels="Stereo", file_data=b"x")
        self.assertEqual(answer.returnCode, 2001)
        self.assertEqual(answer.message, "Error in command parameters")
        self.assertIsNone(getattr(answer, "fileData", None))


def main():
    global STANDIN
    STANDIN = sys.argv.pop(1)
    result = unittest.main(exit=False, verbosity=2).result
    log = getattr(SudsAgainstStandin, "log", "")
    print(log, end="")
    # What suds sent was read as it meant it: profile, source kind and size per call.
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
    if 'action="transcode"' not in log:
        print('missing from the request log: action="transcode"')
        missing.append("action")
    sys.exit(0 if result.wasSuccessful() and not missing else 1)


if __name__ == "__main__":
    main()
