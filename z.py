import zeep, base64, logging
c = zeep.Client("http://127.0.0.1:43093/axis/services/MediaAdapter?wsdl")
r = c.service.transcode(in0={"transactionID": "", "request": {"source": {"type":"audio","format":"mp3","codec":"mp3","fileData": b"abc"}, "target": {"profileID":"", "profile": {"audio": {"fileFormat":"mp4","codec":"aac","bitRate":"16000","channels":"Mono","durationLimit":-1,"samplingRate":"22050","samplingResolution":0}}}, "additionalData":""}})
print(repr(r))
print(c.create_message(c.service, "transcode", in0={"transactionID": "", "request": {"source": {"type":"audio","format":"mp3","codec":"mp3","location": "http://x/a.mp3"}, "target": {"profileID":"", "profile": {"audio": {"fileFormat":"mp4","codec":"aac","bitRate":"16000","channels":"Mono","durationLimit":-1,"samplingRate":"22050","samplingResolution":0}}}, "additionalData":""}}))
