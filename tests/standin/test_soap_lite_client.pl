# One transcode call written as SOAP::Lite's users write it, printed as
# "returnCode<TAB>message<TAB>fileData in Base64".
# Usage: perl test_soap_lite_client.pl ENDPOINT fileData|location BASE64_OR_URL CHANNELS
use strict;
use warnings;
use MIME::Base64;
use SOAP::Lite;

my ($endpoint, $kind, $value, $channels) = @ARGV;
sub part { SOAP::Data->name(@_) }
sub parts { my $name = shift; part($name => \SOAP::Data->value(@_)) }

my $media = $kind eq 'fileData' ? SOAP::Data->type(base64 => decode_base64($value))->name('fileData')
                                : part(location => $value);
my $audio = parts(audio => part(fileFormat => 'mp4'), part(codec => 'aac'), part(bitRate => 16000),
                  part(channels => $channels), part(durationLimit => -1),
                  part(samplingRate => 22050), part(samplingResolution => 0));
my $request = parts(request =>
    parts(source => part(type => 'audio'), part(format => 'mp3'), part(codec => 'mp3'), $media),
    parts(target => part(profileID => ''), parts(profile => $audio)), part(additionalData => ''));
my $som = SOAP::Lite->uri('http://www.korvane.com/quorra/MediaAdapter')->proxy($endpoint)
    ->call('transcode', parts(in0 => part(transactionID => ''), $request));
die 'fault: ' . $som->faultstring . "\n" if $som->fault;
my $answer = $som->result;
print join("\t", $answer->{returnCode}, $answer->{message},
           encode_base64($answer->{fileData} // '', '')), "\n";
